// The profile collection the program ships, loaded as the commands load it,
// against the public reports it is built from. The expectations come from the
// reports and the list of unplaced machine types, never from the table that
// the profiles are written from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
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
    const bool thinkpad_family = p.scope == ProfileScope::Family && !p.matches.version_contains.empty() &&
                                 ascii_lower(p.matches.version_contains.front()).starts_with("thinkpad");
    if (thinkpad_family) last_family = p.id;
    for (const Capability& c : p.capabilities) {
      EXPECT_NE(c.confidence, Confidence::Validated) << p.id << " / " << c.id;
    }
    if (p.scope != ProfileScope::Model) continue;
    for (const std::string& mtm : p.matches.mtm) {
      const auto [it, fresh] = owner_of_type.emplace(ascii_upper(mtm), p.id);
      EXPECT_TRUE(fresh) << mtm << " is in both " << it->second << " and " << p.id;
    }
  }
  // The family pass takes the first word found in file order: the ThinkPad
  // catch-all must come after every other ThinkPad family.
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
    // The other Lenovo laptops are lenovo_collection_test's; no other maker's
    // machine may reach a profile.
    const bool thinkpad = ascii_lower(id.display_name.value_or("")).contains("thinkpad");
    if (r.kind == ResolutionKind::Exact && thinkpad) ++exact;
    if (r.profile && !thinkpad) {
      EXPECT_EQ(ascii_lower(id.manufacturer.value_or("")), "lenovo") << row.system_product_name << " resolves to "
                                                                     << r.profile->id;
      EXPECT_FALSE(r.profile->display_name.starts_with("ThinkPad")) << row.system_product_name;
    }
    if (r.kind == ResolutionKind::Family && thinkpad) caught[r.profile->id].insert(*id.display_name);
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

// A source is a short reference that profiles/README.md explains: a dump of
// the facts table, a rule of its rules table with as many dumps as that table
// gives, or a document read: never a product sheet or a support page nobody
// here could read.
TEST(Collection, EverySourceIsOneTheReadmeExplains) {
  std::set<std::string> dumps;
  for (const auto& cells : read_tsv("thinkpad-acpi.tsv")) dumps.insert(cells.at(0));
  for (const auto& cells : read_tsv("lenovo-acpi.tsv")) dumps.insert(cells.at(0));
  std::ifstream readme_file(kCollection + "/README.md");
  const std::string readme((std::istreambuf_iterator<char>(readme_file)), std::istreambuf_iterator<char>());
  const std::set<std::string> documents = {
      "linux:thinkpad_acpi.c", "linux:thinkpad-acpi.rst", "linux:think-lmi.c", "linux:3d677f12ea3a",
      "linux:sysfs-platform_profile.rst", "web:lenovo-bios-wmi", "web:froonix-ec-research",
      "linux:ideapad-laptop.c", "linux:20251105182832.104946-5-i@rong.moe", "linux:lenovo-wmi-gamezone.rst",
      "linux:lenovo-wmi-other.rst"};
  std::size_t sources = 0;
  for (const MachineProfile& p : load_collection()) {
    for (const Capability& c : p.capabilities) {
      for (const std::string& source : c.sources) {
        ++sources;
        const std::string what = p.id + " / " + c.id + " / " + source;
        if (source.starts_with("acpi:")) {
          EXPECT_TRUE(dumps.contains(source.substr(5))) << what;
        } else if (source.starts_with("règle:")) {
          // "règle:toutes-2011 (35 relevés)" is the README's row
          // "| `charge_start_threshold` | `règle:toutes-2011` | 35 : …".
          const std::size_t space = source.find(" (");
          const std::string row = "| `" + c.id + "` | `" + source.substr(0, space) + "` | " +
                                  source.substr(space + 2, source.find(' ', space + 2) - space - 2) + " : ";
          EXPECT_NE(space, std::string::npos) << what;
          EXPECT_NE(readme.find(row), std::string::npos) << what << ": no row " << row;
        } else {
          EXPECT_TRUE(documents.contains(source)) << what;
          EXPECT_NE(readme.find("`" + source + "`"), std::string::npos) << what << " is not explained";
        }
      }
    }
  }
  EXPECT_GT(sources, 0u);
}

// What one vendor-firmware dump of data/thinkpad-acpi.tsv shows: the full
// paths of its ACPI objects, its EC fields as NAME@OFFSET/WIDTH, the GUIDs
// of its WMI blocks.
struct Firmware {
  std::string hwid;
  std::set<std::string> paths;
  std::set<std::string> ec_units;
  std::set<std::string> guids;
  int dytc_revision = -1;
};

using testing::split_cell;

// The firmware features each capability stands for: the HKEY methods it
// needs (the last is the one the access names), the EC unit, or the WMI
// GUIDs (Lenovo_BiosSetting, Lenovo_SetBiosSetting, Lenovo_SaveBiosSettings).
struct FirmwareFeature {
  std::string_view id;
  std::vector<std::string_view> methods;
  std::string_view ec_unit;
  std::vector<std::string_view> guids;
};

const std::vector<FirmwareFeature>& firmware_features() {
  static const std::vector<FirmwareFeature> features = {
      {"charge_start_threshold", {"BCTG", "BCCS"}, {}, {}},
      {"charge_stop_threshold", {"BCSG", "BCSS"}, {}, {}},
      {"force_discharge", {"BDSG", "BDSS"}, {}, {}},
      {"charge_inhibit", {"BICG", "BICS"}, {}, {}},
      {"mic_mute_led", {"MMTS"}, {}, {}},
      {"fn_lock", {"GMKS", "SMKS"}, {}, {}},
      {"privacy_screen", {"GSSS", "SSSS"}, {}, {}},
      {"palm_sensor", {"GPSS"}, {}, {}},
      {"keyboard_language", {"GSKL", "SSKL"}, {}, {}},
      {"bluetooth", {"GBDC", "SBDC"}, {}, {}},
      {"wwan", {"GWAN", "SWAN"}, {}, {}},
      {"keyboard_backlight_pm", {"MLCG", "MLCS"}, {}, {}},
      {"fan_level", {}, "HFSP@0x2F/8", {}},
      {"fan_speed", {}, "HSPD@0x84/16", {}},
      {"temperature_sensor", {}, "TMP0@0x78/8", {}},
      {"bios_settings", {}, {},
       {"51F5230E-9677-46CD-A1CF-C0B23EE34DB7", "98479A64-33F5-4E33-A707-8E251EBBC3A1",
        "6A4B54EF-A5ED-4D33-9455-B0D9B48DF4B3"}},
  };
  return features;
}

// The vendor-firmware dumps by machine type; a coreboot build is no evidence
// for Lenovo's firmware.
std::map<std::string, std::vector<Firmware>> read_firmware() {
  std::map<std::string, std::vector<Firmware>> by_type;
  for (const auto& cells : read_tsv("thinkpad-acpi.tsv")) {
    EXPECT_EQ(cells.size(), 16u);
    if (cells.size() != 16 || cells[3] != "vendor") continue;
    Firmware firmware{cells[0], {}, {}, {}, cells[11] == "-" || cells[11] == "?" ? -1 : std::stoi(cells[11])};
    for (const std::string& ec : split_cell(cells[5])) {
      if (cells[6] == "yes") firmware.paths.insert(ec + ".HKEY.MLCG");
      if (cells[7] == "yes") firmware.paths.insert(ec + ".HKEY.MLCS");
    }
    for (const std::string& field : split_cell(cells[8])) firmware.paths.insert(field);
    if (cells[9] == "yes") firmware.paths.insert("\\UCMS");
    for (const std::string& hkey : split_cell(cells[12])) {
      for (const std::string& method : split_cell(cells[13], ' ')) firmware.paths.insert(hkey + "." + method);
    }
    for (const std::string& unit : split_cell(cells[14], ' ')) firmware.ec_units.insert(unit);
    for (const std::string& guid : split_cell(cells[15])) firmware.guids.insert(guid);
    by_type[cells[2]].push_back(std::move(firmware));
  }
  return by_type;
}

bool shows(const Firmware& firmware, const FirmwareFeature& feature) {
  const bool methods = std::ranges::all_of(feature.methods, [&](std::string_view m) {
    return std::ranges::any_of(firmware.paths, [&](const std::string& p) { return p.ends_with(".HKEY." + std::string(m)); });
  });
  const bool unit = feature.ec_unit.empty() || firmware.ec_units.contains(std::string(feature.ec_unit));
  const bool guids = std::ranges::all_of(feature.guids, [&](std::string_view g) { return firmware.guids.contains(std::string(g)); });
  return methods && unit && guids;
}

// Every claim of a model profile whose machine types have vendor dumps holds
// in every one of them: the ACPI path, the EC offset of the right field, the
// WMI class's GUIDs, a DYTC of revision 5 or later for the platform profile;
// the claim is documented and names each dump. And every feature that all of
// a model's dumps show is claimed.
TEST(Collection, EveryModelWithFirmwareClaimsWhatItShowsAndNothingElse) {
  const std::map<std::string, std::vector<Firmware>> by_type = read_firmware();
  std::size_t vendor_dumps = 0;
  for (const auto& [mtm, found] : by_type) vendor_dumps += found.size();
  EXPECT_EQ(vendor_dumps, 44u);

  std::size_t models = 0, claims = 0;
  for (const MachineProfile& p : load_collection()) {
    if (p.scope != ProfileScope::Model) continue;
    std::vector<Firmware> own;
    for (const std::string& mtm : p.matches.mtm) {
      if (const auto it = by_type.find(mtm); it != by_type.end()) own.insert(own.end(), it->second.begin(), it->second.end());
    }
    if (own.empty()) continue;
    ++models;
    const auto claim_of = [&](std::string_view id) -> const Capability* {
      const auto it = std::ranges::find(p.capabilities, id, &Capability::id);
      return it == p.capabilities.end() ? nullptr : &*it;
    };
    for (const Capability& c : p.capabilities) {
      if (c.id == "keyboard_backlight_ec") continue;  // an EC bit no ACPI table names
      ++claims;
      const auto feature = std::ranges::find(firmware_features(), c.id, &FirmwareFeature::id);
      for (const Firmware& firmware : own) {
        const std::string what = p.id + " / " + c.id + " / " + firmware.hwid;
        if (const auto* acpi = std::get_if<access::Acpi>(&c.access)) {
          EXPECT_TRUE(firmware.paths.contains(acpi->path)) << what << ": no " << acpi->path;
        } else if (const auto* ec = std::get_if<access::Ec>(&c.access)) {
          ASSERT_NE(feature, firmware_features().end()) << what;
          EXPECT_TRUE(firmware.ec_units.contains(std::string(feature->ec_unit))) << what;
          EXPECT_EQ(std::stoi(std::string(feature->ec_unit.substr(feature->ec_unit.find('@') + 1)), nullptr, 16),
                    ec->offset)
              << what;
        } else if (std::holds_alternative<access::PlatformProfile>(c.access)) {
          EXPECT_GE(firmware.dytc_revision, 5) << what;
        }
        if (feature != firmware_features().end()) EXPECT_TRUE(shows(firmware, *feature)) << what;
        EXPECT_EQ(c.confidence, Confidence::Documented) << what;
        EXPECT_TRUE(std::ranges::find(c.sources, "acpi:" + firmware.hwid) != c.sources.end())
            << what << " does not name the firmware";
      }
    }
    const bool profile = std::ranges::all_of(own, [](const Firmware& f) { return f.dytc_revision >= 5; });
    EXPECT_EQ(claim_of("platform_profile") != nullptr, profile) << p.id << " / platform_profile";
    for (const FirmwareFeature& feature : firmware_features()) {
      if (feature.id == "keyboard_backlight_pm") continue;  // the keyboard may have no backlight
      const bool everywhere = std::ranges::all_of(own, [&](const Firmware& f) { return shows(f, feature); });
      EXPECT_EQ(claim_of(feature.id) != nullptr, everywhere) << p.id << " / " << feature.id;
    }
  }
  // Counted from the facts table: the 43 vendor dumps whose machine type a
  // model lists belong to 39 model profiles (three X230, two T410 and two X61
  // Tablet dumps).
  EXPECT_EQ(models, 39u);
  std::printf("%zu claims of %zu models checked against their firmware\n", claims, models);
}

}  // namespace
}  // namespace ostrane
