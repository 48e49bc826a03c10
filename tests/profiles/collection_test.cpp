// The profile collection the program ships, loaded as the commands load it,
// against the public reports it is built from. The expectations come from the
// reports and the list of unplaced machine types, never from the table that
// the profiles are written from.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <variant>

#include "hal/smbios/parse_smbios.h"
#include "src/common/text.h"
#include "src/profiles/load_profiles.h"
#include "src/profiles/resolve_profile.h"
#include "tests/identity/sample_identities.h"

namespace ostrane {
namespace {

namespace fs = std::filesystem;

const std::string kCollection = OSTRANE_PROFILES_DIR;
const std::string kData = OSTRANE_DATA_DIR;

std::vector<MachineProfile> load_collection() {
  auto loaded = load_profiles(kCollection + "/", SystemFileReader{});
  EXPECT_TRUE(loaded.has_value()) << loaded.error();
  return loaded ? std::move(*loaded) : std::vector<MachineProfile>{};
}

std::vector<std::vector<std::string>> read_tsv(const std::string& name) {
  EXPECT_TRUE(fs::exists(kData + "/" + name)) << kData << "/" << name;
  return testing::read_tsv_rows(kData + "/" + name);
}

MachineIdentity thinkpad(const std::string& mtm, const std::string& name) {
  return MachineIdentity{.manufacturer = "LENOVO", .mtm = mtm, .display_name = name};
}

TEST(Collection, LoadsEveryFileCleanly) {
  std::set<std::string> stems;
  for (const auto& entry : fs::directory_iterator(kCollection)) {
    if (entry.path().extension() == ".toml") stems.insert(entry.path().stem().string());
  }
  const std::vector<MachineProfile> profiles = load_collection();
  EXPECT_EQ(profiles.size(), stems.size());

  std::map<std::string, std::string> owner_of_type;
  std::string last_family;
  for (const MachineProfile& p : profiles) {
    EXPECT_TRUE(stems.contains(p.id)) << p.id << " is not named after its file";
    EXPECT_EQ(p.id, ascii_lower(p.id)) << p.id;
    EXPECT_EQ(p.id.starts_with("family-"), p.scope == ProfileScope::Family) << p.id;
    if (p.scope == ProfileScope::Family) last_family = p.id;
    for (const Capability& c : p.capabilities) {
      EXPECT_NE(c.confidence, Confidence::Validated) << p.id << " / " << c.id;
    }
    if (p.scope != ProfileScope::Model) continue;
    for (const std::string& mtm : p.matches.mtm) {
      const auto [it, fresh] = owner_of_type.emplace(ascii_upper(mtm), p.id);
      EXPECT_TRUE(fresh) << mtm << " is in both " << it->second << " and " << p.id;
    }
  }
  // The family pass takes the first word found in file order: the catch-all
  // must come after every other family.
  EXPECT_EQ(last_family, "family-zz-thinkpad");
}

// Every machine type of the reports resolves exact, under the name most of
// its reports give, unless it is listed as unplaced; then a family takes it.
TEST(Collection, EveryReportedThinkPadIsKnown) {
  const std::vector<MachineProfile> profiles = load_collection();
  std::set<std::string> unplaced;
  for (const auto& row : read_tsv("thinkpad-unplaced.tsv")) {
    if (row.at(0) == "mtm") unplaced.insert(row.at(1));
  }
  EXPECT_EQ(unplaced.size(), 2u);

  std::size_t exact = 0, family = 0;
  for (const auto& row : read_tsv("thinkpad-mtm.tsv")) {
    const std::string& mtm = row.at(0);
    const std::string name = row.at(2).substr(0, row.at(2).rfind(" ("));  // the most reported name
    const Resolution r = resolve_profile(profiles, thinkpad(mtm, name));
    if (unplaced.contains(mtm)) {
      EXPECT_EQ(r.kind, ResolutionKind::Family) << mtm << " " << name;
      ++family;
      continue;
    }
    ASSERT_EQ(r.kind, ResolutionKind::Exact) << mtm << " " << name;
    ++exact;
    // A new machine type of the same model still finds a family.
    EXPECT_EQ(resolve_profile(profiles, thinkpad("9ZZZ", name)).kind, ResolutionKind::Family) << name;
  }
  EXPECT_EQ(exact, 848u);
  EXPECT_EQ(family, 2u);
}

// Words of one line must not catch another: new machine types of each line,
// under names the firmware gives, and the family that must take each.
TEST(Collection, FamiliesTakeTheirOwnLineOnly) {
  const std::vector<MachineProfile> profiles = load_collection();
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"ThinkPad E14 Gen 7", "family-e"},          {"ThinkPad Edge E999", "family-edge"},
      {"ThinkPad Edge 15", "family-edge"},          {"ThinkPad 11e 6th Gen", "family-education"},
      {"ThinkPad Yoga 11e 6th Gen", "family-education"}, {"ThinkPad 13 3rd Gen", "family-education"},
      {"ThinkPad L16 Gen 1", "family-l"},           {"ThinkPad P1 Gen 8", "family-p"},
      {"ThinkPad R52", "family-r"},                 {"ThinkPad S1 Yoga", "family-s"},
      {"ThinkPad SL300", "family-sl"},              {"ThinkPad T14s Gen 7", "family-t14"},
      {"ThinkPad T16 Gen 4", "family-t15-t16"},     {"ThinkPad T43", "family-t4xx-t5xx"},
      {"ThinkPad T61p", "family-t6x"},              {"ThinkPad W550s", "family-w"},
      {"ThinkPad X1 Carbon Gen 13", "family-x1-carbon"}, {"ThinkPad X1 Fold 16 Gen 1", "family-x1"},
      {"ThinkPad X13 Gen 6", "family-x13"},         {"ThinkPad X131e", "family-x1xxe"},
      {"ThinkPad X280", "family-x2xx-x3xx"},        {"ThinkPad X61s", "family-x6x"},
      {"ThinkPad Yoga 12", "family-yoga"},          {"ThinkPad Z13 Gen 3", "family-z"},
      {"ThinkPad A485", "family-a"},                {"ThinkPad Helix 2nd Gen", "family-helix"},
      {"ThinkPad Twist", "family-twist"},           {"ThinkPad Mini 10", "family-mini"},
      {"ThinkPad neo 14 Gen 2", "family-neo"},      {"ThinkPad X13s Gen 2", "family-zz-thinkpad"},
      {"ThinkPad", "family-zz-thinkpad"},
  };
  for (const auto& [name, expected] : cases) {
    const Resolution r = resolve_profile(profiles, thinkpad("9ZZZ", std::string(name)));
    ASSERT_EQ(r.kind, ResolutionKind::Family) << name;
    EXPECT_EQ(r.profile->id, expected) << name;
  }
}

// The 400 sample identities: 43 are ThinkPads whose machine type the reports
// place (counted from the sample and thinkpad-mtm.tsv alone); one more
// announces only "ThinkPad SL" and no machine type. Five are Lenovo consumer
// laptops named by a five-digit product number (counted with grep), which
// gives no machine type.
TEST(Collection, ResolvesTheSampleMachines) {
  const std::vector<MachineProfile> profiles = load_collection();
  std::map<std::string, std::multiset<std::string>> caught;
  std::size_t exact = 0, five_digit = 0;
  for (const auto& row : testing::load_sample_identities(kData + "/identities-sample.tsv")) {
    const MachineIdentity id = build_identity(parse_smbios(testing::sample_smbios_table(row)).value());
    const Resolution r = resolve_profile(profiles, id);
    if (r.kind == ResolutionKind::Exact) {
      ++exact;
      EXPECT_NE(ascii_lower(id.display_name.value_or("")).find("thinkpad"), std::string::npos)
          << row.system_product_name << " is no ThinkPad but resolves to " << r.profile->id;
    }
    if (r.kind == ResolutionKind::Family) caught[r.profile->id].insert(*id.display_name);
    const std::string_view name = trim_white_space(row.system_product_name);
    if (name.size() >= 5 && name.find_first_not_of("0123456789") >= 5 &&
        (name.size() == 5 || !is_ascii_alnum(name[5]))) {
      ++five_digit;
      EXPECT_EQ(id.mtm, std::nullopt) << row.system_product_name;
    }
  }
  EXPECT_EQ(exact, 43u);
  EXPECT_EQ(five_digit, 5u);
  const std::map<std::string, std::multiset<std::string>> expected = {{"family-sl", {"ThinkPad SL"}}};
  EXPECT_EQ(caught, expected);
}

// What one vendor-firmware dump of data/thinkpad-acpi.tsv shows.
struct Firmware {
  std::string hwid;
  std::set<std::string> paths;
  int dytc_revision = -1;
};

std::vector<std::string> split(const std::string& cell) {
  std::vector<std::string> parts;
  if (cell == "-") return parts;
  for (std::size_t start = 0;;) {
    const std::size_t bar = cell.find('|', start);
    parts.push_back(cell.substr(start, bar - start));
    if (bar == std::string::npos) return parts;
    start = bar + 1;
  }
}

// Every ACPI path a model profile claims is in every vendor firmware of its
// machine types, and a claim that such a firmware bears out names it and says
// documented; so does the platform profile, whose DYTC must be of revision 5
// or later. A coreboot build is no evidence for Lenovo's firmware.
TEST(Collection, EveryFirmwareClaimHoldsInTheModelsOwnTables) {
  std::map<std::string, std::vector<Firmware>> by_type;
  std::size_t vendor_dumps = 0;
  for (const auto& cells : read_tsv("thinkpad-acpi.tsv")) {
    ASSERT_EQ(cells.size(), 12u);
    if (cells[3] != "vendor") continue;
    Firmware firmware{cells[0], {}, cells[11] == "-" || cells[11] == "?" ? -1 : std::stoi(cells[11])};
    for (const std::string& ec : split(cells[5])) {
      if (cells[6] == "yes") firmware.paths.insert(ec + ".HKEY.MLCG");
      if (cells[7] == "yes") firmware.paths.insert(ec + ".HKEY.MLCS");
    }
    for (const std::string& field : split(cells[8])) firmware.paths.insert(field);
    if (cells[9] == "yes") firmware.paths.insert("\\UCMS");
    by_type[cells[2]].push_back(std::move(firmware));
    ++vendor_dumps;
  }
  EXPECT_EQ(vendor_dumps, 44u);

  std::size_t checked = 0;
  for (const MachineProfile& p : load_collection()) {
    if (p.scope != ProfileScope::Model) continue;
    for (const std::string& mtm : p.matches.mtm) {
      for (const Firmware& firmware : by_type[mtm]) {
        for (const Capability& c : p.capabilities) {
          const auto* acpi = std::get_if<access::Acpi>(&c.access);
          const bool profile = std::holds_alternative<access::PlatformProfile>(c.access);
          if (!acpi && !profile) continue;
          const std::string what = p.id + " / " + c.id + " / " + firmware.hwid;
          if (acpi) EXPECT_TRUE(firmware.paths.contains(acpi->path)) << what << ": no " << acpi->path;
          if (profile) EXPECT_GE(firmware.dytc_revision, 5) << what;
          EXPECT_EQ(c.confidence, Confidence::Documented) << what;
          EXPECT_TRUE(std::ranges::any_of(c.sources, [&](const std::string& s) {
            return s.find(firmware.hwid) != std::string::npos;
          })) << what << " does not name the firmware";
          ++checked;
        }
      }
    }
  }
  // Counted from the model table: the backlight, ThinkLight and platform
  // profile claims of the 43 vendor dumps whose machine type a model lists.
  EXPECT_EQ(checked, 58u);
}

}  // namespace
}  // namespace ostrane
