#pragma once
// The position report of the TOML layer: where, the quoted source line,
// carets under the offending span, then the message.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ostrane {

// 1-based; the column counts Unicode scalar values, as the TOML parser does.
struct TextPosition {
  std::size_t line = 1;
  std::size_t column = 1;
  friend bool operator==(const TextPosition&, const TextPosition&) = default;
  friend auto operator<=>(const TextPosition&, const TextPosition&) = default;
};

// A view of a document by lines. A leading UTF-8 byte order mark is not part
// of line 1, since the parser skips it before counting columns.
class SourceText {
 public:
  explicit SourceText(std::string_view text);

  // Without its line ending; empty past the last line.
  std::string_view line(std::size_t number) const;

  // The characters of `begin.line` from `begin` up to `end` (exclusive),
  // stopping at the end of that line when `end` lies further on.
  std::string_view slice(TextPosition begin, TextPosition end) const;

  // "TOML parse error at line L, column C", the gutter, the quoted line,
  // the carets (at least one) and the message, joined by line feeds, with
  // no line feed at the end.
  std::string report(TextPosition begin, TextPosition end, std::string_view message) const;

 private:
  // The byte offset, within line `number`, of the character at `column`,
  // or the line's size. Constant time on a line of ASCII, which one long
  // line of many values is, and on the others once their index is made.
  std::size_t offset_of_column(std::size_t number, std::string_view line, std::size_t column) const;

  std::string_view text_;
  std::vector<std::size_t> line_starts_;
  std::vector<bool> ascii_lines_;
  // Where each character of the text begins, and the index there of each
  // line's first character: made on the first question about a line that
  // is not ASCII.
  mutable std::vector<std::size_t> char_starts_;
  mutable std::vector<std::size_t> line_first_chars_;
};

}  // namespace ostrane
