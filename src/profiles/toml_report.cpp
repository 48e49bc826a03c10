#include "src/profiles/toml_report.h"

#include <algorithm>

#include "src/common/utf8.h"

namespace ostrane {
namespace {

constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";

std::size_t count_characters(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t pos = 0; pos < text.size(); ++count) pos += decode_utf8_at(text, pos).length;
  return count;
}

}  // namespace

SourceText::SourceText(std::string_view text) : text_(text) {
  const std::size_t start = text.starts_with(BYTE_ORDER_MARK) ? BYTE_ORDER_MARK.size() : 0;
  line_starts_.push_back(start);
  bool ascii = true;
  for (std::size_t pos = start; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c == '\n') {
      ascii_lines_.push_back(ascii);
      line_starts_.push_back(pos + 1);
      ascii = true;
    } else if (static_cast<unsigned char>(c) >= 0x80) {
      ascii = false;
    }
  }
  ascii_lines_.push_back(ascii);
}

std::size_t SourceText::offset_of_column(std::size_t number, std::string_view line, std::size_t column) const {
  const std::size_t index = column > 0 ? column - 1 : 0;
  if (ascii_lines_[number - 1]) return std::min(index, line.size());
  if (char_starts_.empty()) {
    std::size_t next_line = 0;
    for (std::size_t pos = 0; pos < text_.size(); pos += decode_utf8_at(text_, pos).length) {
      while (next_line < line_starts_.size() && line_starts_[next_line] <= pos) {
        line_first_chars_.push_back(char_starts_.size());
        ++next_line;
      }
      char_starts_.push_back(pos);
    }
    char_starts_.push_back(text_.size());
    while (line_first_chars_.size() < line_starts_.size()) line_first_chars_.push_back(char_starts_.size() - 1);
  }
  const std::size_t line_start = line_starts_[number - 1];
  const std::size_t char_index = line_first_chars_[number - 1] + index;
  if (char_index >= char_starts_.size()) return line.size();
  return std::min(char_starts_[char_index] - line_start, line.size());
}

std::string_view SourceText::line(std::size_t number) const {
  if (number == 0 || number > line_starts_.size()) return {};
  const std::size_t start = line_starts_[number - 1];
  std::size_t end = number < line_starts_.size() ? line_starts_[number] - 1 : text_.size();
  if (end > start && text_[end - 1] == '\r' && number < line_starts_.size()) --end;
  return text_.substr(start, end - start);
}

std::string_view SourceText::slice(TextPosition begin, TextPosition end) const {
  if (begin.line == 0 || begin.line > line_starts_.size()) return {};
  const std::string_view text = line(begin.line);
  const std::size_t from = offset_of_column(begin.line, text, begin.column);
  const std::size_t to =
      end.line == begin.line ? std::max(from, offset_of_column(begin.line, text, end.column)) : text.size();
  return text.substr(from, to - from);
}

std::string SourceText::report(TextPosition begin, TextPosition end, std::string_view message) const {
  const std::string number = std::to_string(begin.line);
  const std::string gutter(number.size(), ' ');
  const std::size_t carets = std::max<std::size_t>(1, count_characters(slice(begin, end)));
  const std::size_t indent = begin.column > 0 ? begin.column - 1 : 0;
  std::string out = "TOML parse error at line " + number + ", column " + std::to_string(begin.column) + "\n";
  out += gutter + " |\n";
  out += number + " | ";
  out += line(begin.line);
  out += "\n" + gutter + " | " + std::string(indent, ' ') + std::string(carets, '^') + "\n";
  out += message;
  return out;
}

}  // namespace ostrane
