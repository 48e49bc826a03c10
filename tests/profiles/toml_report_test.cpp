#include "src/profiles/toml_report.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace ostrane {
namespace {

TEST(SourceText, QuotesLinesWithoutTheirEndings) {
  struct Case {
    std::string_view name, text;
    std::size_t line;
    std::string_view expected;
  };
  const Case cases[] = {
      {"first of several", "a = 1\nb = 2\n", 1, "a = 1"},
      {"second of several", "a = 1\nb = 2\n", 2, "b = 2"},
      {"after the last line feed an empty line", "a = 1\n", 2, ""},
      {"past the end", "a = 1\n", 3, ""},
      {"line zero does not exist", "a = 1", 0, ""},
      {"carriage return before line feed dropped", "a = 1\r\nb = 2\r\n", 1, "a = 1"},
      {"last line without line feed kept whole", "a = 1\r\nb = 2", 2, "b = 2"},
      {"empty text has an empty line 1", "", 1, ""},
      {"byte order mark is not part of line 1", "\xEF\xBB\xBFid = 1\n", 1, "id = 1"},
      {"byte order mark only at the start", "a\n\xEF\xBB\xBF", 2, "\xEF\xBB\xBF"},
  };
  for (const auto& c : cases) EXPECT_EQ(SourceText(c.text).line(c.line), c.expected) << c.name;
}

TEST(SourceText, SlicesByCharactersWithinOneLine) {
  struct Case {
    std::string_view name, text;
    TextPosition begin, end;
    std::string_view expected;
  };
  const Case cases[] = {
      {"ascii", "label = 1", {1, 1}, {1, 6}, "label"},
      {"after accents", "é = \"à\" ", {1, 5}, {1, 8}, "\"à\""},
      {"four-byte character counts once", "\xF0\x9F\x98\x80x", {1, 2}, {1, 3}, "x"},
      {"end on a later line stops at the line end", "a = [1,\n2]", {1, 5}, {2, 3}, "[1,"},
      {"end before begin is empty", "abc", {1, 3}, {1, 2}, ""},
      {"begin past the line end is empty", "abc", {1, 9}, {1, 9}, ""},
      {"second line", "x\r\nyz\r\n", {2, 1}, {2, 9}, "yz"},
  };
  for (const auto& c : cases) EXPECT_EQ(SourceText(c.text).slice(c.begin, c.end), c.expected) << c.name;
}

TEST(SourceText, ReportsPositionLineCaretsAndMessage) {
  struct Case {
    std::string_view name, text;
    TextPosition begin, end;
    std::string_view message, expected;
  };
  const Case cases[] = {
      {"span of a key",
       "a = 1\n\nlabel = \"x\"\n",
       {3, 1},
       {3, 6},
       "unknown field `label`",
       "TOML parse error at line 3, column 1\n"
       "  |\n"
       "3 | label = \"x\"\n"
       "  | ^^^^^\n"
       "unknown field `label`"},
      {"empty span still has one caret",
       "[",
       {1, 2},
       {1, 2},
       "end-of-file",
       "TOML parse error at line 1, column 2\n"
       "  |\n"
       "1 | [\n"
       "  |  ^\n"
       "end-of-file"},
      {"two-digit line number widens the gutter",
       "\n\n\n\n\n\n\n\n\nx = \"ab\"\r\n",
       {10, 5},
       {10, 9},
       "m",
       "TOML parse error at line 10, column 5\n"
       "   |\n"
       "10 | x = \"ab\"\n"
       "   |     ^^^^\n"
       "m"},
      {"accents count as one column and one caret each",
       "é = \"àà\"",
       {1, 5},
       {1, 9},
       "m",
       "TOML parse error at line 1, column 5\n"
       "  |\n"
       "1 | é = \"àà\"\n"
       "  |     ^^^^\n"
       "m"},
      {"span running past the line end stops there",
       "a = [1,\n  2]",
       {1, 5},
       {2, 5},
       "m",
       "TOML parse error at line 1, column 5\n"
       "  |\n"
       "1 | a = [1,\n"
       "  |     ^^^\n"
       "m"},
      {"empty text",
       "",
       {1, 1},
       {1, 2},
       "missing field `id`",
       "TOML parse error at line 1, column 1\n"
       "  |\n"
       "1 | \n"
       "  | ^\n"
       "missing field `id`"},
      {"line past the end of the text",
       "a = [\n",
       {2, 1},
       {2, 1},
       "eof",
       "TOML parse error at line 2, column 1\n"
       "  |\n"
       "2 | \n"
       "  | ^\n"
       "eof"},
      {"multi-line message kept as it is",
       "s = 1",
       {1, 5},
       {1, 6},
       "a\nb",
       "TOML parse error at line 1, column 5\n"
       "  |\n"
       "1 | s = 1\n"
       "  |     ^\n"
       "a\nb"},
  };
  for (const auto& c : cases) EXPECT_EQ(SourceText(c.text).report(c.begin, c.end, c.message), c.expected) << c.name;
}

TEST(SourceText, GutterFollowsTheDigitsOfTheLineNumber) {
  const std::string text = std::string(99, '\n') + "x";
  EXPECT_EQ(SourceText(text).report({100, 1}, {100, 2}, "m"),
            "TOML parse error at line 100, column 1\n"
            "    |\n"
            "100 | x\n"
            "    | ^\n"
            "m");
}

}  // namespace
}  // namespace ostrane
