// The direct reading of plain profiles against the TOML library's mapping:
// every shipped profile is read directly, into the record the library's
// way gives; and a direct reading never takes a text the library's way
// would refuse or read otherwise, over thousands of texts made by
// mutating the shipped ones.
#include "src/profiles/plain_profile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "src/profiles/profile_toml.h"

namespace ostrane {
namespace {

namespace fs = std::filesystem;

std::vector<std::pair<std::string, std::string>> shipped_profiles() {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& entry : fs::directory_iterator(OSTRANE_PROFILES_DIR)) {
    if (entry.path().extension() != ".toml") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    out.emplace_back(entry.path().filename().string(), text.str());
  }
  std::ranges::sort(out);
  return out;
}

TEST(PlainProfile, EveryShippedProfileIsReadDirectlyAsTheLibraryReadsIt) {
  const auto profiles = shipped_profiles();
  ASSERT_GT(profiles.size(), 400u);
  for (const auto& [name, text] : profiles) {
    const std::optional<MachineProfile> plain = read_plain_profile(text);
    ASSERT_TRUE(plain.has_value()) << name << " is not read directly";
    const auto library = map_profile_toml_with_library(text);
    ASSERT_TRUE(library.has_value()) << name << ": " << library.error();
    EXPECT_TRUE(*plain == *library) << name;
  }
}

// What the plain shape is made of, and what may break it.
constexpr std::string_view PIECES[] = {"\"", "'", "\\", "=", ",", "[", "]", "{", "}", "#", "\n", "\r", "\t",
                                       " ", "0x", "-", "1", "9", "_", ".", "e", "\"\"\"", "\x7F", "\x01",
                                       "\xC3", "id", "é", "\\u00e9", "\\e", "[[capabilities]]\n", "[matches]\n",
                                       "notes = \"x\"\n", "method", "platform_profile", "+", "\xEF\xBB\xBF"};

std::string mutate(std::string text, std::mt19937& random) {
  const int edits = 1 + static_cast<int>(random() % 3);
  for (int i = 0; i < edits && !text.empty(); ++i) {
    const std::size_t at = random() % text.size();
    switch (random() % 4) {
      case 0: text.erase(at, 1 + random() % 3); break;
      case 1: text.insert(at, PIECES[random() % std::size(PIECES)]); break;
      case 2: text[at] = PIECES[random() % std::size(PIECES)][0]; break;
      default: {
        // A line again, elsewhere: a key or a table given twice.
        const std::size_t start = text.rfind('\n', at) == std::string::npos ? 0 : text.rfind('\n', at) + 1;
        const std::size_t end = text.find('\n', at);
        const std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start + 1);
        text.insert(random() % text.size(), line);
      }
    }
  }
  return text;
}

TEST(PlainProfile, ADirectReadingIsAlwaysTheLibrarysReading) {
  const auto profiles = shipped_profiles();
  ASSERT_FALSE(profiles.empty());
  std::mt19937 random(20261210);
  int taken = 0, declined = 0;
  for (int round = 0; round < 40; ++round) {
    for (const auto& [name, text] : profiles) {
      if (random() % 4 != 0) continue;
      const std::string mutated = mutate(text, random);
      const std::optional<MachineProfile> plain = read_plain_profile(mutated);
      if (!plain) {
        ++declined;
        continue;
      }
      ++taken;
      const auto library = map_profile_toml_with_library(mutated);
      ASSERT_TRUE(library.has_value()) << name << " mutated, read directly but refused by the library:\n"
                                       << library.error() << "\n---\n"
                                       << mutated;
      ASSERT_TRUE(*plain == *library) << name << " mutated, read otherwise:\n" << mutated;
    }
  }
  // Both ways are taken often enough for the comparison to mean something.
  std::printf("mutated profiles: %d read directly, %d left to the library\n", taken, declined);
  EXPECT_GT(taken, 500);
  EXPECT_GT(declined, 500);
}

}  // namespace
}  // namespace ostrane
