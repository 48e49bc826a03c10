#include "src/profiles/nesting_depth.h"

#include <vector>

namespace ostrane {
namespace {

constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r'; }
bool is_quote(char c) { return c == '"' || c == '\''; }

bool is_key_char(char c) {
  switch (c) {
    case ' ':
    case '\t':
    case '\r':
    case '\n':
    case '.':
    case '=':
    case '[':
    case ']':
    case '{':
    case '}':
    case ',':
    case '"':
    case '\'':
    case '#': return false;
    default: return true;
  }
}

// Ends a value that is not a string, an array or an inline table.
bool ends_bare_value(char c) {
  return is_space(c) || c == '\n' || c == ',' || c == ']' || c == '}' || c == '#' || c == '[' || c == '{' || c == '=' ||
         is_quote(c);
}

// Follows the document's structure as far as nesting goes: table headers,
// keys, and the arrays and inline tables that values open. Where the text
// is no TOML the library stops at the first fault and builds nothing after
// it, so what this reads past that point does not matter, as long as it
// goes on in one pass.
class NestingScanner {
 public:
  NestingScanner(std::string_view text, std::size_t max_depth) : text_(text), max_depth_(max_depth) {
    if (text_.starts_with(BYTE_ORDER_MARK)) pos_ = BYTE_ORDER_MARK.size();
  }

  // The byte offset of the first place too deep, and what to say there.
  std::optional<std::pair<std::size_t, std::string_view>> scan() {
    while (pos_ < text_.size() && !error_) {
      const char c = text_[pos_];
      if (is_space(c)) {
        ++pos_;
      } else if (c == '\n') {
        ++pos_;
        if (open_.empty()) expect_ = Expect::LineStart;
      } else if (c == '#') {
        while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
      } else {
        step(c);
      }
    }
    return error_;
  }

 private:
  enum class Expect { LineStart, Equals, Value, AfterValue, TableKey };

  struct Open {
    bool is_array;
    std::size_t levels;
  };

  void step(char c) {
    switch (expect_) {
      case Expect::LineStart: return at_line_start(c);
      case Expect::TableKey: return at_table_key(c);
      case Expect::Equals: return at_equals(c);
      case Expect::Value: return at_value(c);
      case Expect::AfterValue: return after_value(c);
    }
  }

  void at_line_start(char c) {
    if (c == '[') {
      ++pos_;
      if (pos_ < text_.size() && text_[pos_] == '[') ++pos_;
      header_depth_ = 0;
      header_depth_ = read_key();
      expect_ = Expect::AfterValue;  // the closing brackets, then the line's end
    } else if (is_key_char(c) || is_quote(c)) {
      key_parts_ = read_key();
      expect_ = Expect::Equals;
    } else {
      skip_other();
    }
  }

  void at_table_key(char c) {
    if (is_key_char(c) || is_quote(c)) {
      key_parts_ = read_key();
      expect_ = Expect::Equals;
    } else if (c == '}' && in_table()) {
      close();
    } else {
      skip_other();
    }
  }

  void at_equals(char c) {
    if (c == '=') {
      ++pos_;
      expect_ = Expect::Value;
    } else {
      skip_other();
    }
  }

  void at_value(char c) {
    if (c == '[' || c == '{') {
      open(c == '[');
    } else if (c == ']' && in_array()) {
      close();  // an empty array, or one with a trailing comma
    } else if (is_quote(c)) {
      skip_string(c);
      expect_ = Expect::AfterValue;
    } else if (ends_bare_value(c)) {
      skip_other();
    } else {
      while (pos_ < text_.size() && !ends_bare_value(text_[pos_])) ++pos_;
      expect_ = Expect::AfterValue;
    }
  }

  void after_value(char c) {
    if (c == ',' && !open_.empty()) {
      ++pos_;
      expect_ = in_array() ? Expect::Value : Expect::TableKey;
    } else if ((c == ']' && in_array()) || (c == '}' && in_table())) {
      close();
    } else {
      skip_other();
    }
  }

  bool in_array() const { return !open_.empty() && open_.back().is_array; }
  bool in_table() const { return !open_.empty() && !open_.back().is_array; }

  // A dotted key from its first part; returns its number of parts and
  // notes the error when it goes too deep.
  std::size_t read_key() {
    skip_spaces();
    const std::size_t start = pos_;
    std::size_t parts = 0;
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (is_quote(c)) {
        skip_string(c);
      } else if (is_key_char(c)) {
        while (pos_ < text_.size() && is_key_char(text_[pos_])) ++pos_;
      } else {
        break;
      }
      ++parts;
      skip_spaces();
      if (pos_ >= text_.size() || text_[pos_] != '.') break;
      ++pos_;
      skip_spaces();
    }
    if (parts > max_depth_) {
      fail(start, KEY_TOO_DEEP_MESSAGE);
    } else if (depth() + parts > max_depth_) {
      fail(start, NESTING_TOO_DEEP_MESSAGE);
    }
    return parts;
  }

  // A value that opens an array or an inline table: it counts the parts of
  // its key (none inside an array) and one level of its own.
  void open(bool is_array) {
    const std::size_t levels = (in_array() ? 0 : key_parts_) + 1;
    if (depth() + levels > max_depth_) {
      fail(pos_, NESTING_TOO_DEEP_MESSAGE);
      return;
    }
    open_.push_back({is_array, levels});
    nested_depth_ += levels;
    key_parts_ = 0;
    ++pos_;
    expect_ = is_array ? Expect::Value : Expect::TableKey;
  }

  void close() {
    nested_depth_ -= open_.back().levels;
    open_.pop_back();
    ++pos_;
    expect_ = Expect::AfterValue;
  }

  std::size_t depth() const { return header_depth_ + nested_depth_; }

  void fail(std::size_t at, std::string_view message) { error_.emplace(at, message); }

  void skip_spaces() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
  }

  // Anything the library would not take here; a string is passed whole.
  void skip_other() {
    if (is_quote(text_[pos_])) {
      skip_string(text_[pos_]);
    } else {
      ++pos_;
    }
  }

  // From the opening quote to just past the closing one (or the end). Basic
  // strings have escapes; one-line strings end at the line's end at the
  // latest, which the library then reports.
  void skip_string(char quote) {
    const std::string_view triple = quote == '"' ? R"(""")" : "'''";
    const bool multi_line = text_.substr(pos_).starts_with(triple);
    pos_ += multi_line ? 3 : 1;
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (quote == '"' && c == '\\' && pos_ + 1 < text_.size()) {
        pos_ += text_[pos_ + 1] == '\n' ? 1 : 2;
      } else if (multi_line ? text_.substr(pos_).starts_with(triple) : c == quote) {
        pos_ += multi_line ? 3 : 1;
        // Up to two more quotes may close a multi-line string.
        while (multi_line && pos_ < text_.size() && text_[pos_] == quote) ++pos_;
        return;
      } else if (!multi_line && c == '\n') {
        return;
      } else {
        ++pos_;
      }
    }
  }

  std::string_view text_;
  std::size_t max_depth_;
  std::size_t pos_ = 0;
  Expect expect_ = Expect::LineStart;
  std::size_t header_depth_ = 0;
  std::size_t nested_depth_ = 0;
  std::size_t key_parts_ = 0;
  std::vector<Open> open_;
  std::optional<std::pair<std::size_t, std::string_view>> error_;
};

// Line and column of a byte offset, counted once for the one place
// reported: columns count Unicode scalar values, as the library's do, and
// line 1 begins after a byte-order mark.
TextPosition position_of(std::string_view text, std::size_t offset) {
  std::size_t line_start = text.starts_with(BYTE_ORDER_MARK) ? BYTE_ORDER_MARK.size() : 0;
  TextPosition at;
  for (std::size_t i = line_start; i < offset; ++i) {
    if (text[i] == '\n') {
      ++at.line;
      line_start = i + 1;
    }
  }
  for (std::size_t i = line_start; i < offset; ++i) at.column += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
  return at;
}

}  // namespace

std::optional<NestingError> find_too_deep_nesting(std::string_view text, std::size_t max_depth) {
  const auto found = NestingScanner(text, max_depth).scan();
  if (!found) return std::nullopt;
  return NestingError{position_of(text, found->first), found->second};
}

}  // namespace ostrane
