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

// The edges of what the library takes, in every place the direct reading
// reads an integer or an inline table: each text is read the same both
// ways, and accepted or refused as the library decides.
TEST(PlainProfile, TheLibrarysLimitsAreTheDirectReadingsToo) {
  const std::string head =
      "schema_version = 1\nid = \"p\"\ndisplay_name = \"P\"\nscope = \"model\"\n"
      "[matches]\nmtm = [\"20XW\"]\n[[capabilities]]\nid = \"c\"\nlabel = \"c\"\n"
      "confidence = \"assumed\"\nsources = [\"s\"]\n";
  const auto hex = [](std::size_t digits) { return "0x" + std::string(digits - 1, '0') + "1"; };
  const auto keys = [](std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) out += ", k" + std::to_string(i) + " = 1";
    return out;
  };
  struct Case {
    std::string name, text;
    bool accepted;
  };
  const Case cases[] = {
      {"schema_version of 128 digits",
       "schema_version = " + hex(128) + head.substr(18) + "access = { method = \"platform_profile\" }\n", true},
      {"schema_version of 129 digits",
       "schema_version = " + hex(129) + head.substr(18) + "access = { method = \"platform_profile\" }\n", false},
      {"offset of 128 digits", head + "access = { method = \"ec\", offset = " + hex(128) + " }\n", true},
      {"offset of 129 digits", head + "access = { method = \"ec\", offset = " + hex(129) + " }\n", false},
      {"address of 129 digits", head + "access = { method = \"msr\", address = " + hex(129) + " }\n", false},
      {"bounds of 129 digits",
       head + "access = { method = \"platform_profile\" }\nbounds = { min = 0, max = " + hex(129) + " }\n", false},
      {"ignored key of 128 digits", head + "access = { method = \"platform_profile\", x = " + hex(128) + " }\n", true},
      {"ignored key of 129 digits", head + "access = { method = \"platform_profile\", x = " + hex(129) + " }\n", false},
      {"decimal of 20 digits", head + "access = { method = \"msr\", address = 10000000000000000000 }\n", false},
      {"ignored keys, two", head + "access = { method = \"platform_profile\"" + keys(2) + " }\n", true},
      {"ignored keys, three", head + "access = { method = \"platform_profile\"" + keys(3) + " }\n", true},
      {"ignored keys, 20,000", head + "access = { method = \"platform_profile\"" + keys(20000) + " }\n", true},
      {"ec with 20,000 keys", head + "access = { method = \"ec\", offset = 1" + keys(20000) + " }\n", false},
  };
  for (const Case& c : cases) {
    const std::optional<MachineProfile> plain = read_plain_profile(c.text);
    const auto library = map_profile_toml_with_library(c.text);
    EXPECT_EQ(library.has_value(), c.accepted) << c.name;
    if (plain) {
      ASSERT_TRUE(library.has_value()) << c.name << ": read directly, refused by the library";
      EXPECT_TRUE(*plain == *library) << c.name;
    }
  }
  // A table wider than the schema's widest goes the library's way at once.
  EXPECT_FALSE(read_plain_profile(cases[11].text).has_value());
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
