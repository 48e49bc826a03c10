#include "src/profiles/key_depth.h"

namespace ostrane {
namespace {

constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";

bool is_bare_key_char(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

// Reads the text once, as the parser's lexer would for strings, comments and
// line breaks, and counts the parts of each dotted run.
class KeyScanner {
 public:
  KeyScanner(std::string_view text, std::size_t max_parts) : text_(text), max_parts_(max_parts) {
    if (text_.starts_with(BYTE_ORDER_MARK)) pos_ = line_start_ = BYTE_ORDER_MARK.size();
  }

  std::optional<TextPosition> scan() {
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (c == ' ' || c == '\t') {
        ++pos_;  // white space may stand around the dots
      } else if (c == '.') {
        after_dot_ = after_part_;
        if (!after_part_) parts_ = 0;
        after_part_ = false;
        ++pos_;
      } else if (c == '"' || c == '\'' || is_bare_key_char(c)) {
        if (read_part(c)) return run_;
      } else {
        if (c == '#') skip_comment();
        if (pos_ < text_.size()) advance();
        parts_ = 0;
        after_dot_ = after_part_ = false;
      }
    }
    return std::nullopt;
  }

 private:
  // One part of a dotted run, bare or quoted; true when the run is too long.
  bool read_part(char first) {
    const TextPosition at{line_, column_of(pos_, line_start_)};
    if (is_bare_key_char(first)) {
      while (pos_ < text_.size() && is_bare_key_char(text_[pos_])) ++pos_;
    } else {
      skip_string(first);
    }
    if (after_dot_) {
      ++parts_;
    } else {
      parts_ = 1;
      run_ = at;
    }
    after_dot_ = false;
    after_part_ = true;
    return parts_ > max_parts_;
  }

  void advance() {
    if (text_[pos_] == '\n') {
      ++line_;
      line_start_ = pos_ + 1;
    }
    ++pos_;
  }

  void skip_comment() {
    while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
  }

  // From the opening quote to just past the closing one (or the end). Basic
  // strings have escapes; one-line strings end at the line's end at the
  // latest, which the parser then reports.
  void skip_string(char quote) {
    const std::string_view triple = quote == '"' ? R"(""")" : "'''";
    const bool multi_line = text_.substr(pos_).starts_with(triple);
    pos_ += multi_line ? 3 : 1;
    while (pos_ < text_.size()) {
      if (quote == '"' && text_[pos_] == '\\' && pos_ + 1 < text_.size()) {
        pos_ += text_[pos_ + 1] == '\n' ? 1 : 2;
        continue;
      }
      if (multi_line ? text_.substr(pos_).starts_with(triple) : text_[pos_] == quote) {
        pos_ += multi_line ? 3 : 1;
        // Up to two more quotes may close a multi-line string.
        while (multi_line && pos_ < text_.size() && text_[pos_] == quote) ++pos_;
        return;
      }
      if (!multi_line && text_[pos_] == '\n') return;
      advance();
    }
  }

  // Columns count Unicode scalar values, as the parser's do.
  std::size_t column_of(std::size_t pos, std::size_t line_start) const {
    std::size_t column = 1;
    for (std::size_t i = line_start; i < pos; ++i) column += (static_cast<unsigned char>(text_[i]) & 0xC0) != 0x80;
    return column;
  }

  std::string_view text_;
  std::size_t max_parts_;
  std::size_t pos_ = 0, line_ = 1, line_start_ = 0;
  std::size_t parts_ = 0;
  bool after_dot_ = false, after_part_ = false;
  TextPosition run_;
};

}  // namespace

std::optional<TextPosition> find_too_deep_key(std::string_view text, std::size_t max_parts) {
  return KeyScanner(text, max_parts).scan();
}

}  // namespace ostrane
