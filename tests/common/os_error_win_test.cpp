#include <gtest/gtest.h>
#include <windows.h>

#include "src/common/os_error.h"

namespace ostrane {
namespace {

TEST(OsErrorText, UsesTheSystemDescriptionWithoutItsLineBreak) {
  const std::string text = os_error_text(ERROR_FILE_NOT_FOUND);
  const std::string suffix = " (os error 2)";
  ASSERT_GT(text.size(), suffix.size());
  EXPECT_EQ(text.substr(text.size() - suffix.size()), suffix);
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_EQ(text.find('\n'), std::string::npos);
}

TEST(OsErrorText, AnUnknownCodeStillNamesTheCode) {
  const std::string text = os_error_text(0x7FFF1234u);
  EXPECT_NE(text.find("(os error 2147422772)"), std::string::npos) << text;
}

}  // namespace
}  // namespace ostrane
