#include "src/profiles/toml_report.h"

#include <algorithm>

#include "src/common/utf8.h"

namespace ostrane {
namespace {

constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";

// Byte offset of the character at 1-based `column`, or the line's size.
std::size_t offset_of_column(std::string_view line, std::size_t column) {
  std::size_t pos = 0;
  for (std::size_t c = 1; c < column && pos < line.size(); ++c) pos += decode_utf8_at(line, pos).length;
  return pos;
}

std::size_t count_characters(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t pos = 0; pos < text.size(); ++count) pos += decode_utf8_at(text, pos).length;
  return count;
}

}  // namespace

SourceText::SourceText(std::string_view text) : text_(text) {
  const std::size_t start = text.starts_with(BYTE_ORDER_MARK) ? BYTE_ORDER_MARK.size() : 0;
  line_starts_.push_back(start);
  for (std::size_t pos = text.find('\n', start); pos != std::string_view::npos; pos = text.find('\n', pos + 1)) {
    line_starts_.push_back(pos + 1);
  }
}

std::string_view SourceText::line(std::size_t number) const {
  if (number == 0 || number > line_starts_.size()) return {};
  const std::size_t start = line_starts_[number - 1];
  std::size_t end = number < line_starts_.size() ? line_starts_[number] - 1 : text_.size();
  if (end > start && text_[end - 1] == '\r' && number < line_starts_.size()) --end;
  return text_.substr(start, end - start);
}

std::string_view SourceText::slice(TextPosition begin, TextPosition end) const {
  const std::string_view text = line(begin.line);
  const std::size_t from = offset_of_column(text, begin.column);
  const std::size_t to = end.line == begin.line ? std::max(from, offset_of_column(text, end.column)) : text.size();
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
