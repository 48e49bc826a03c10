#include "src/common/utf8.h"

#include <gtest/gtest.h>

namespace ostrane {
namespace {

struct LossyCase {
  std::string_view name;
  std::string_view input;
  std::string_view expected;
};

TEST(Utf8Lossy, EachMaximalInvalidSubpartBecomesOneReplacementCharacter) {
  const LossyCase cases[] = {
      {"ascii", "abc", "abc"},
      {"valid multibyte", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
      {"lone continuation", "a\x80z", "a\xEF\xBF\xBDz"},
      {"two lone continuations", "\x80\xBF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"truncated at end", "a\xE2\x82", "a\xEF\xBF\xBD"},
      {"truncated before ascii", "\xE2\x82z", "\xEF\xBF\xBDz"},
      {"overlong two bytes", "\xC0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"overlong three bytes", "\xE0\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"surrogate", "\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"F5 and FF", "\xF5\xFF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"the standard's mixed example", "\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64",
       "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
       "b\xEF\xBF\xBD"
       "c\xEF\xBF\xBD\xEF\xBF\xBD"
       "d"},
      {"nul kept", std::string_view("a\0b", 3), std::string_view("a\0b", 3)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(decode_utf8_lossy(c.input), c.expected) << c.name;
    EXPECT_EQ(is_valid_utf8(c.input), c.input == c.expected) << c.name;
  }
}

TEST(Utf16ToUtf8, UnpairedSurrogatesBecomeReplacementCharacters) {
  struct Case {
    std::string_view name;
    std::u16string input;
    std::string_view expected;
  };
  const Case cases[] = {
      {"bmp", u"Lénovo €", "L\xC3\xA9novo \xE2\x82\xAC"},
      {"pair", u"\U0001F600", "\xF0\x9F\x98\x80"},
      {"high at end", u"a\xD83D", "a\xEF\xBF\xBD"},
      {"lone low", u"\xDE00z", "\xEF\xBF\xBDz"},
      {"reversed pair", u"\xDE00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"high then ascii", u"\xD83Dx", "\xEF\xBF\xBDx"},
  };
  for (const auto& c : cases) EXPECT_EQ(utf16_to_utf8_lossy(c.input), c.expected) << c.name;
}

TEST(Utf8ToUtf16, RoundTripsAndRepairsInvalidInput) {
  EXPECT_EQ(utf8_to_utf16("L\xC3\xA9novo \xF0\x9F\x98\x80"), u"Lénovo \U0001F600");
  EXPECT_EQ(utf8_to_utf16("a\xFFz"), u"a\xFFFDz");
  EXPECT_EQ(utf8_to_utf16(""), u"");
}

}  // namespace
}  // namespace ostrane
