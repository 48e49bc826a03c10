#include "src/backlight/keyboard_script.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace ostrane {
namespace {

std::string read_file(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(KeyboardScript, EmbeddedBytesAreTheFile) {
  const std::string file = read_file(OSTRANE_KEYBOARD_PS1);
  ASSERT_FALSE(file.empty()) << OSTRANE_KEYBOARD_PS1;
  EXPECT_EQ(KEYBOARD_SCRIPT.size(), file.size());
  EXPECT_TRUE(KEYBOARD_SCRIPT == file);
}

// Windows PowerShell reads a file without a byte-order mark in the ANSI code
// page: only ASCII reads the same everywhere.
TEST(KeyboardScript, IsAsciiWithLineFeedsOnly) {
  ASSERT_FALSE(KEYBOARD_SCRIPT.empty());
  for (std::size_t i = 0; i < KEYBOARD_SCRIPT.size(); ++i) {
    const auto byte = static_cast<unsigned char>(KEYBOARD_SCRIPT[i]);
    ASSERT_TRUE(byte == '\n' || byte == '\t' || (byte >= 0x20 && byte < 0x7F)) << "byte " << int(byte) << " at " << i;
  }
  EXPECT_EQ(KEYBOARD_SCRIPT.back(), '\n');
}

}  // namespace
}  // namespace ostrane
