#include "src/common/json_writer.h"

namespace ostrane {

void append_json_string(std::string& out, std::string_view text) {
  static constexpr std::string_view HEX = "0123456789abcdef";
  out.push_back('"');
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\f': out += "\\f"; break;
      case '\r': out += "\\r"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          out += "\\u00";
          out.push_back(HEX[static_cast<unsigned char>(c) >> 4]);
          out.push_back(HEX[static_cast<unsigned char>(c) & 0xF]);
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back('"');
}

void JsonWriter::new_line_at(std::size_t depth) {
  out_.push_back('\n');
  out_.append(2 * depth, ' ');
}

// Inside an array every value starts a member line; inside an object the
// key did, and the value follows it on the same line.
void JsonWriter::before_value() {
  if (levels_.empty()) return;
  Level& level = levels_.back();
  if (level.awaiting_value) {
    level.awaiting_value = false;
    return;
  }
  if (level.members++ > 0) out_.push_back(',');
  new_line_at(levels_.size());
}

void JsonWriter::key(std::string_view name) {
  Level& level = levels_.back();
  if (level.members++ > 0) out_.push_back(',');
  new_line_at(levels_.size());
  append_json_string(out_, name);
  out_ += ": ";
  level.awaiting_value = true;
}

void JsonWriter::open(char bracket) {
  before_value();
  out_.push_back(bracket);
  levels_.push_back({});
}

void JsonWriter::close(char bracket) {
  const bool empty = levels_.back().members == 0;
  levels_.pop_back();
  if (!empty) new_line_at(levels_.size());
  out_.push_back(bracket);
}

void JsonWriter::begin_object() { open('{'); }
void JsonWriter::end_object() { close('}'); }
void JsonWriter::begin_array() { open('['); }
void JsonWriter::end_array() { close(']'); }

void JsonWriter::string(std::string_view text) {
  before_value();
  append_json_string(out_, text);
}

void JsonWriter::optional_string(const std::optional<std::string>& text) {
  if (text) {
    string(*text);
  } else {
    null();
  }
}

void JsonWriter::optional_string(const std::optional<std::string_view>& text) {
  if (text) {
    string(*text);
  } else {
    null();
  }
}

void JsonWriter::number(std::uint64_t value) {
  before_value();
  out_ += std::to_string(value);
}

void JsonWriter::null() {
  before_value();
  out_ += "null";
}

}  // namespace ostrane
