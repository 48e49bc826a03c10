#include "src/cli/usage.h"

#include <gtest/gtest.h>

#include <vector>

namespace ostrane {
namespace {

std::vector<std::string_view> lines_of(std::string_view text) {
  std::vector<std::string_view> lines;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::string_view::npos) return lines;
    start = end + 1;
  }
}

TEST(Usage, HasItsThirteenLinesAndItsColumns) {
  EXPECT_EQ(USAGE.size(), 548u);
  const auto lines = lines_of(USAGE);
  ASSERT_EQ(lines.size(), 13u);
  EXPECT_TRUE(lines[5].empty());
  EXPECT_TRUE(lines[9].empty());
  EXPECT_TRUE(lines[11].empty());
  EXPECT_EQ(lines[3].find('('), 39u);
  EXPECT_EQ(lines[4].find('('), 39u);
  EXPECT_EQ(lines[7].find_first_not_of(' ', 12), 14u);
  EXPECT_EQ(lines[8].find_first_not_of(' ', 7), 14u);
  EXPECT_NE(USAGE.back(), '\n');
}

TEST(Usage, TemplatesFrameTheMessage) {
  EXPECT_EQ(help_text(), std::string(USAGE) + "\n");
  EXPECT_EQ(usage_error_text("m"), "erreur : m\n\n" + std::string(USAGE) + "\n");
  EXPECT_EQ(unknown_command_text("x"), "commande inconnue : x\n\n" + std::string(USAGE) + "\n");
  EXPECT_EQ(unknown_service_action_text(),
            "commande service inconnue (install ou uninstall)\n\n" + std::string(USAGE) + "\n");
  EXPECT_EQ(runtime_error_text("t"), "erreur : t\n");
  EXPECT_EQ(msg_missing_value("--out"), "valeur manquante pour --out");
  EXPECT_EQ(msg_unknown_option("-x"), "option inconnue : -x");
}

}  // namespace
}  // namespace ostrane
