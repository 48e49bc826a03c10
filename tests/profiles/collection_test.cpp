// The profile collection the program ships, loaded as the commands load it.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "hal/smbios/parse_smbios.h"
#include "src/common/text.h"
#include "src/profiles/load_profiles.h"
#include "src/profiles/resolve_profile.h"
#include "tests/identity/sample_identities.h"

namespace ostrane {
namespace {

namespace fs = std::filesystem;

const std::string kCollection = OSTRANE_PROFILES_DIR;

std::vector<MachineProfile> load_collection() {
  auto loaded = load_profiles(kCollection + "/", SystemFileReader{});
  EXPECT_TRUE(loaded.has_value()) << loaded.error();
  return loaded ? std::move(*loaded) : std::vector<MachineProfile>{};
}

TEST(Collection, LoadsEveryFileCleanly) {
  std::size_t toml_files = 0;
  std::set<std::string> stems;
  for (const auto& entry : fs::directory_iterator(kCollection)) {
    if (entry.path().extension() == ".toml") {
      ++toml_files;
      stems.insert(entry.path().stem().string());
    }
  }
  const std::vector<MachineProfile> profiles = load_collection();
  EXPECT_EQ(profiles.size(), toml_files);

  std::size_t models = 0, families = 0;
  std::map<std::string, std::string> owner_of_type;
  for (const MachineProfile& p : profiles) {
    EXPECT_TRUE(stems.contains(p.id)) << p.id << " is not named after its file";
    EXPECT_EQ(p.id, ascii_lower(p.id)) << p.id;
    (p.scope == ProfileScope::Model ? models : families) += 1;
    if (p.scope != ProfileScope::Model) continue;
    for (const std::string& mtm : p.matches.mtm) {
      const auto [it, fresh] = owner_of_type.emplace(ascii_upper(mtm), p.id);
      EXPECT_TRUE(fresh) << mtm << " is in both " << it->second << " and " << p.id;
    }
  }
  EXPECT_GE(models, 30u);
  EXPECT_GE(families, 5u);
}

TEST(Collection, NoCapabilityClaimsToBeValidated) {
  for (const MachineProfile& p : load_collection()) {
    for (const Capability& c : p.capabilities) {
      EXPECT_NE(c.confidence, Confidence::Validated) << p.id << " / " << c.id;
      EXPECT_FALSE(c.sources.empty()) << p.id << " / " << c.id;
    }
  }
}

// Which sample machines each family catches once no model profile did.
// The lists were read off the data by hand.
TEST(Collection, FamiliesCatchTheseSampleMachines) {
  const std::string tsv = OSTRANE_IDENTITIES_TSV;
  if (!fs::exists(tsv)) GTEST_SKIP() << "identities sample not found at " << tsv;
  const std::vector<MachineProfile> profiles = load_collection();

  std::map<std::string, std::multiset<std::string>> caught;
  std::size_t exact = 0;
  for (const auto& row : testing::load_sample_identities(tsv)) {
    const MachineIdentity id = build_identity(parse_smbios(testing::sample_smbios_table(row)).value());
    const Resolution r = resolve_profile(profiles, id);
    if (r.kind == ResolutionKind::Exact) ++exact;
    if (r.kind == ResolutionKind::Family) caught[r.profile->id].insert(*id.display_name);
  }
  for (const auto& [family, names] : caught) {
    std::string list;
    for (const auto& n : names) list += " [" + n + "]";
    std::cout << family << ":" << list << "\n";
  }

  const std::map<std::string, std::multiset<std::string>> expected = {
      {"family-l", {"ThinkPad L13", "ThinkPad L14 Gen 3", "ThinkPad L420", "ThinkPad L470"}},
      {"family-p", {"ThinkPad P1", "ThinkPad P1 Gen 6", "ThinkPad P14s Gen 1"}},
      {"family-t4xx-t5xx", {"ThinkPad T440", "ThinkPad T520"}},
      {"family-t6x", {"ThinkPad T60", "ThinkPad T60"}},
      {"family-w", {"ThinkPad W510"}},
      {"family-x1", {"ThinkPad X1 Yoga 1st", "ThinkPad X1 Yoga Gen 8"}},
      {"family-x1-carbon", {"ThinkPad X1 Carbon 3rd"}},
      {"family-x2xx-x3xx", {"ThinkPad X200", "ThinkPad X380 Yoga"}},
  };
  EXPECT_EQ(caught, expected);
  EXPECT_EQ(exact, 24u);
}

}  // namespace
}  // namespace ostrane
