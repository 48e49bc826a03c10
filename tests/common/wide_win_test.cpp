#include "src/platform/wide_win.h"

#include <gtest/gtest.h>

namespace ostrane {
namespace {

TEST(Wide, ArgumentsWithUnpairedSurrogatesBecomeReplacementCharacters) {
  const wchar_t argument[] = {L'a', 0xD800, L'b', 0xDC00, 0};
  EXPECT_EQ(from_wide(argument), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
}

TEST(Wide, ToWideIsNulTerminatedUtf16) {
  const std::wstring wide = to_wide("OstraneHal \xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(wide, L"OstraneHal \u00E9\U0001F600");
  EXPECT_EQ(wide.c_str()[wide.size()], L'\0');
  EXPECT_EQ(from_wide(wide), "OstraneHal \xC3\xA9\xF0\x9F\x98\x80");
}

}  // namespace
}  // namespace ostrane
