#include "src/common/text.h"

#include <gtest/gtest.h>

namespace ostrane {
namespace {

TEST(TrimWhiteSpace, RemovesEveryWhiteSpaceCharacterAtBothEnds) {
  struct Case {
    std::string_view name, input, expected;
  };
  const Case cases[] = {
      {"ascii spaces", "  LENOVO  ", "LENOVO"},
      {"tab lf vt ff cr", "\t\n\v\f\rX\r\n", "X"},
      {"next line U+0085", "\xC2\x85X\xC2\x85", "X"},
      {"no-break space", "\xC2\xA0X\xC2\xA0", "X"},
      {"ogham space", "\xE1\x9A\x80X", "X"},
      {"en quad .. hair space", "\xE2\x80\x80\xE2\x80\x8AX\xE2\x80\x85", "X"},
      {"line and paragraph separators", "\xE2\x80\xA8X\xE2\x80\xA9", "X"},
      {"narrow nbsp, math space, ideographic", "\xE2\x80\xAFX\xE2\x81\x9F\xE3\x80\x80", "X"},
      {"inner space kept", " a  b ", "a  b"},
      {"zero width space is not white space", "\xE2\x80\x8BX", "\xE2\x80\x8BX"},
      {"U+180E is not white space", "\xE1\xA0\x8EX", "\xE1\xA0\x8EX"},
      {"nul is not white space", std::string_view("\0X", 2), std::string_view("\0X", 2)},
      {"invalid byte stops trimming", " \xFF ", "\xFF"},
      {"only white space", " \t\xC2\xA0 ", ""},
      {"empty", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(trim_white_space(c.input), c.expected) << c.name;
    EXPECT_EQ(is_blank(c.input), c.expected.empty()) << c.name;
  }
}

TEST(AsciiCase, FoldsOnlyAsciiLetters) {
  EXPECT_EQ(ascii_lower("LÉNOVO ThinkPad-20XW"), "lÉnovo thinkpad-20xw");
  EXPECT_EQ(ascii_upper("20xw-é"), "20XW-é");
  EXPECT_EQ(ascii_lower("@[`{"), "@[`{");
  EXPECT_EQ(ascii_upper("@[`{"), "@[`{");
}

}  // namespace
}  // namespace ostrane
