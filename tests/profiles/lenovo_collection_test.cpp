// The Lenovo laptops that are not ThinkPads, in the shipped collection: each
// machine type and product number of the committed table finds its own
// profile, the sample machines resolve as the tables say, and the claims of
// every profile whose firmware was read hold against the facts read from it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
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

const std::string kCollection = OSTRANE_PROFILES_DIR;
const std::string kData = OSTRANE_DATA_DIR;

const std::vector<MachineProfile>& collection() {
  static const std::vector<MachineProfile> profiles = [] {
    auto loaded = load_profiles(kCollection + "/", SystemFileReader{});
    EXPECT_TRUE(loaded.has_value()) << loaded.error();
    return loaded ? std::move(*loaded) : std::vector<MachineProfile>{};
  }();
  return profiles;
}

std::vector<std::vector<std::string>> rows(const std::string& name) { return testing::read_tsv_rows(kData + "/" + name); }

using testing::split_cell;

// "Lenovo Flex 2-15" and "FLEX 2-15" are both "flex 2-15".
std::string normalized(std::string name) {
  name = ascii_lower(name);
  if (name.starts_with("lenovo ") || name.starts_with("lenovo-")) name.erase(0, 7);
  return name;
}

// The most reported name of a reports row: "Lenovo G570 (98); ..." gives "Lenovo G570".
std::string first_name(const std::string& cell) { return cell.substr(0, cell.find(" (")); }

// A row's family is family-<id>, or family-zz-<id> when its words also occur
// in the names of more specific models, whose families come first.
bool is_family_of(const std::string& profile_id, const std::string& row_id) {
  return profile_id == "family-" + row_id || profile_id == "family-zz-" + row_id;
}

Resolution resolve(std::optional<std::string> mtm, std::string name) {
  return resolve_profile(collection(), MachineIdentity{.manufacturer = "LENOVO", .mtm = std::move(mtm),
                                                       .display_name = std::move(name)});
}

// The committed table: each row's machine types resolve exact to its model
// profile, its product numbers (which give no machine type) to its family
// under the name their reports give; every machine type and product number of
// the reports is in one row, or unplaced.
TEST(LenovoCollection, EveryTypeAndProductNumberResolvesToItsOwnProfile) {
  std::map<std::string, std::string> row_of;
  for (const auto& row : rows("lenovo-models.tsv")) {
    ASSERT_EQ(row.size(), 10u);
    for (const std::string& mtm : split_cell(row[3], ' ')) EXPECT_TRUE(row_of.emplace(mtm, row[0]).second) << mtm;
    for (const std::string& number : split_cell(row[4], ' ')) EXPECT_TRUE(row_of.emplace(number, row[0]).second) << number;
  }
  std::set<std::string> unplaced;
  for (const auto& row : rows("lenovo-unplaced.tsv")) {
    if (row.at(0) != "name") unplaced.insert(row.at(1));
  }
  std::size_t exact = 0, family = 0;
  for (const std::string file : {"lenovo-mtm.tsv", "lenovo-product-numbers.tsv"}) {
    for (const auto& report : rows(file)) {
      const std::string& key = report.at(0);
      const auto it = row_of.find(key);
      EXPECT_NE(it != row_of.end(), unplaced.contains(key)) << key << ": in a row or unplaced, not both";
      if (it == row_of.end()) continue;
      const bool product_number = key.size() == 5;
      const Resolution r = resolve(product_number ? std::nullopt : std::optional(key), first_name(report.at(3)));
      ASSERT_EQ(r.kind, product_number ? ResolutionKind::Family : ResolutionKind::Exact) << key;
      EXPECT_TRUE(product_number ? is_family_of(r.profile->id, it->second) : r.profile->id == it->second)
          << key << " reaches " << r.profile->id;
      EXPECT_FALSE(r.profile->display_name.starts_with("ThinkPad")) << key;
      ++(product_number ? family : exact);
    }
  }
  std::printf("%zu machine types exact, %zu product numbers by family, %zu unplaced\n", exact, family,
              unplaced.size());
  EXPECT_GT(exact, 900u);
  EXPECT_GT(family, 130u);
}

// The Lenovo consumer laptops of the 400 sample identities: a machine type of
// the table resolves to its model; a machine without one to the family of the
// row that owns its name; a name no row owns (noise) to unsupported.
TEST(LenovoCollection, SampleMachinesResolveAsTheTablesSay) {
  std::map<std::string, std::string> model_of_type, owner_of_name;
  std::set<std::string> with_family;
  for (const auto& row : rows("lenovo-models.tsv")) {
    for (const std::string& mtm : split_cell(row[3], ' ')) model_of_type[mtm] = row[0];
    owner_of_name[row[1]] = row[0];
    for (const std::string& alias : split_cell(row[2], '|')) owner_of_name[alias] = row[0];
    if (row[5] != "-") with_family.insert(row[0]);
  }
  std::size_t machines = 0;
  for (const auto& sample : testing::load_sample_identities(kData + "/identities-sample.tsv")) {
    const MachineIdentity id = build_identity(parse_smbios(testing::sample_smbios_table(sample)).value());
    if (ascii_lower(id.manufacturer.value_or("")) != "lenovo" ||
        ascii_lower(id.display_name.value_or("")).contains("thinkpad")) {
      continue;
    }
    ++machines;
    const Resolution r = resolve_profile(collection(), id);
    const std::string what = sample.system_product_name + " / " + id.display_name.value_or("(none)");
    if (id.mtm && model_of_type.contains(*id.mtm)) {
      ASSERT_EQ(r.kind, ResolutionKind::Exact) << what;
      EXPECT_EQ(r.profile->id, model_of_type[*id.mtm]) << what;
    } else if (const auto owner = owner_of_name.find(id.display_name.value_or(""));
               owner != owner_of_name.end() && with_family.contains(owner->second)) {
      ASSERT_EQ(r.kind, ResolutionKind::Family) << what;
      EXPECT_TRUE(is_family_of(r.profile->id, owner->second)) << what << " reaches " << r.profile->id;
    } else {
      EXPECT_EQ(r.kind, ResolutionKind::Unsupported) << what;
    }
  }
  EXPECT_GT(machines, 40u);
}

// What one vendor dump of data/lenovo-acpi.tsv shows.
struct Firmware {
  std::string hwid;
  std::set<std::string> paths;  // the VPC device's methods
  std::set<int> gbmd, hals, cfg;
  std::optional<std::set<int>> sbmc, sals, kblc;  // absent: the code compares no constant
  std::set<std::string> guids;
  int dytc_revision = -1;
};

std::set<int> numbers(const std::string& cell, int base) {
  std::set<int> out;
  for (const std::string& n : split_cell(cell, ' ')) out.insert(std::stoi(n, nullptr, base));
  return out;
}

std::optional<std::set<int>> commands(const std::string& cell) {
  if (cell == "-") return std::nullopt;
  return numbers(cell, 16);
}

bool takes(const std::optional<std::set<int>>& seen, std::initializer_list<int> wanted) {
  return !seen || std::ranges::all_of(wanted, [&](int c) { return seen->contains(c); });
}

bool has(const Firmware& f, std::string_view method) {
  return std::ranges::any_of(f.paths, [&](const std::string& p) { return p.ends_with("." + std::string(method)); });
}

const std::string kGameZone = "887B54E3-DDDC-4B2C-8B88-68A26A8835D0";
const std::string kOtherMode = "DC2A8805-3A8C-41BA-A6F7-092E0089CD3B";
const std::string kCapabilityData01 = "7A8F5407-CB67-4D6E-B547-39B3BE018154";
const std::set<std::string> kBiosSettings = {"51F5230E-9677-46CD-A1CF-C0B23EE34DB7",
                                             "98479A64-33F5-4E33-A707-8E251EBBC3A1",
                                             "6A4B54EF-A5ED-4D33-9455-B0D9B48DF4B3"};

// The interfaces of the Linux ideapad-laptop and lenovo-wmi drivers: the
// methods a feature needs, the support bit its query sets, the commands it
// takes, or the GUIDs of its WMI class.
const std::map<std::string, bool (*)(const Firmware&)>& features() {
  static const std::map<std::string, bool (*)(const Firmware&)> table = {
      {"conservation_mode", [](const Firmware& f) { return has(f, "GBMD") && has(f, "SBMC") && takes(f.sbmc, {3, 5}); }},
      {"rapid_charge",
       [](const Firmware& f) { return has(f, "SBMC") && f.sbmc && takes(f.sbmc, {7, 8}) && f.gbmd.contains(17); }},
      {"fn_lock", [](const Firmware& f) { return has(f, "SALS") && f.hals.contains(9) && takes(f.sals, {0xE, 0xF}); }},
      {"usb_charging",
       [](const Firmware& f) { return has(f, "SALS") && f.hals.contains(6) && takes(f.sals, {0xA, 0xB}); }},
      {"keyboard_backlight",
       [](const Firmware& f) { return has(f, "SALS") && f.hals.contains(4) && takes(f.sals, {0x8, 0x9}); }},
      {"keyboard_backlight_level", [](const Firmware& f) { return has(f, "KBLC") && takes(f.kblc, {1, 2, 3}); }},
      {"camera_power", [](const Firmware& f) { return has(f, "VPCR") && has(f, "VPCW") && f.cfg.contains(19); }},
      {"platform_profile", [](const Firmware& f) { return has(f, "DYTC") && f.dytc_revision >= 5; }},
      {"smart_fan_mode", [](const Firmware& f) { return f.guids.contains(kGameZone); }},
      {"power_limits", [](const Firmware& f) { return f.guids.contains(kOtherMode) && f.guids.contains(kCapabilityData01); }},
      {"bios_settings",
       [](const Firmware& f) { return std::ranges::includes(f.guids, kBiosSettings); }},
  };
  return table;
}

// The GUIDs of the WMI classes the claims name.
const std::map<std::string, std::set<std::string>> kClassGuids = {
    {"LENOVO_GAMEZONE_DATA", {kGameZone}},
    {"LENOVO_OTHER_METHOD", {kOtherMode, kCapabilityData01}},
    {"Lenovo_BiosSetting", kBiosSettings}};

// Each vendor dump, resolved as the machine it was read from would be (its
// machine type, or its name when the collection gives none), against the
// claims of the profile it reaches: every path and GUID exists in each of that
// profile's dumps, the claim is documented and names them; and each feature
// that all of them show is claimed.
TEST(LenovoCollection, EveryClaimHoldsInTheModelsOwnFirmware) {
  std::map<std::string, std::string> reported;  // product number, or a name without the maker's word -> a name
  for (const std::string file : {"lenovo-mtm.tsv", "lenovo-product-numbers.tsv"}) {
    for (const auto& report : rows(file)) {
      if (report.at(0).size() == 5) reported.emplace(report.at(0), first_name(report.at(3)));
      for (const std::string& part : split_cell(report.at(3), ';')) {
        const std::string text = first_name(std::string(trim_white_space(part)));
        reported.emplace(normalized(text), text);
      }
    }
  }
  std::map<std::string, std::vector<Firmware>> by_profile;
  std::size_t unresolved = 0;
  for (const auto& c : rows("lenovo-acpi.tsv")) {
    ASSERT_EQ(c.size(), 18u);
    if (c[4] != "vendor") continue;
    Firmware f{.hwid = c[0]};
    for (const std::string& vpc : split_cell(c[7], '|')) {
      for (const std::string& method : split_cell(c[8], ' ')) f.paths.insert(vpc + "." + method);
    }
    f.gbmd = numbers(c[9], 10), f.hals = numbers(c[11], 10), f.cfg = numbers(c[14], 10);
    f.sbmc = commands(c[10]), f.sals = commands(c[12]), f.kblc = commands(c[13]);
    for (const std::string& guid : split_cell(c[17], '|')) f.guids.insert(guid);
    if (c[16] != "-" && c[16] != "?") f.dytc_revision = std::stoi(c[16]);
    // The collection names a dump "IdeaPad 5 15ARE05 81YQ", "G570 20079" or
    // "Flex 2-15": the machine announces the name its reports give, found by
    // its product number or by that name without the maker's word.
    std::string name = c[2] != "-" || c[3] != "-" ? c[1].substr(0, c[1].rfind(' ')) : c[1];
    if (const auto it = reported.find(c[3] != "-" ? c[3] : normalized(name)); it != reported.end()) name = it->second;
    const Resolution r = resolve(c[2] != "-" ? std::optional(c[2]) : std::nullopt, name);
    if (!r.profile) {
      ++unresolved;
      continue;
    }
    by_profile[r.profile->id].push_back(std::move(f));
  }
  std::size_t claims = 0;
  for (const MachineProfile& p : collection()) {
    const auto found = by_profile.find(p.id);
    if (found == by_profile.end()) continue;
    const std::vector<Firmware>& own = found->second;
    std::set<std::string> claimed;
    for (const Capability& c : p.capabilities) {
      ++claims;
      claimed.insert(c.id);
      const auto feature = features().find(c.id);
      ASSERT_NE(feature, features().end()) << p.id << " / " << c.id;
      for (const Firmware& f : own) {
        const std::string what = p.id + " / " + c.id + " / " + f.hwid;
        if (const auto* acpi = std::get_if<access::Acpi>(&c.access)) {
          EXPECT_TRUE(f.paths.contains(acpi->path)) << what << ": no " << acpi->path;
        } else if (const auto* wmi = std::get_if<access::Wmi>(&c.access)) {
          ASSERT_TRUE(kClassGuids.contains(wmi->class_name)) << what;
          EXPECT_TRUE(std::ranges::includes(f.guids, kClassGuids.at(wmi->class_name))) << what;
        }
        EXPECT_TRUE(feature->second(f)) << what;
        EXPECT_EQ(c.confidence, Confidence::Documented) << what;
        EXPECT_NE(std::ranges::find(c.sources, "acpi:" + f.hwid), c.sources.end()) << what << " does not name it";
      }
    }
    for (const auto& [id, shows] : features()) {
      EXPECT_EQ(claimed.contains(id), std::ranges::all_of(own, shows)) << p.id << " / " << id;
    }
  }
  std::printf("%zu claims of %zu profiles checked against their firmware; %zu dumps reach no profile\n", claims,
              by_profile.size(), unresolved);
  EXPECT_GE(by_profile.size(), 35u);
}

}  // namespace
}  // namespace ostrane
