// The 400 real identities of the shared data set, through the SMBIOS walk,
// the identity rules and the vendor tests.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "hal/smbios/parse_smbios.h"
#include "src/identity/machine_identity.h"
#include "src/identity/vendor.h"
#include "tests/identity/sample_identities.h"

namespace ostrane {
namespace {

using testing::SampleIdentity;
using Text = std::optional<std::string>;

constexpr std::string_view VERSION = "SMBIOS type 1 (System) : Version";
constexpr std::string_view FAMILY = "SMBIOS type 1 (System) : Family";
constexpr std::string_view PRODUCT = "SMBIOS type 1 (System) : Product Name";
constexpr std::string_view BASEBOARD = "SMBIOS type 2 (Baseboard) : Product";

// Worked out by hand from the rows, keyed by their raw manufacturer and
// product name.
struct Expected {
  Text manufacturer, mtm, display_name;
  std::optional<std::string_view> label;
  bool thinkpad, known;
};

using Key = std::pair<std::string, std::string>;

const std::map<Key, Expected>& hand_worked() {
  static const std::map<Key, Expected> rows = {
      {{"HONOR", "BRN-FXX"}, {"HONOR", {}, "M1060", VERSION, false, false}},
      {{"HP", "HP Pavilion Notebook "}, {"HP", {}, "103C_5335KV G=N L=CON B=HP S=PAV", FAMILY, false, true}},
      {{"LENOVO", "81J7"}, {"LENOVO", "81J7", "Lenovo ideapad S530-13IWL", VERSION, false, false}},
      {{"CHUWI Innovation And Technology(ShenZhen)co.,Ltd", "GemiBook"}, {"CHUWI Innovation And Technology(ShenZhen)co.,Ltd", {}, "GemiBook", PRODUCT, false, false}},
      {{"LENOVO", "21FWS98U00"}, {"LENOVO", "21FW", "ThinkPad P1 Gen 6", VERSION, true, false}},
      {{"LENOVO", "20KHS03800"}, {"LENOVO", "20KH", "ThinkPad X1 Carbon 6th", VERSION, true, false}},
      {{"SAMSUNG ELECTRONICS CO., LTD.", "SQ45/Q70C/P200"}, {"SAMSUNG ELECTRONICS CO., LTD.", {}, "04SO", VERSION, false, true}},
      {{"Micro-Star International Co., Ltd.", "GF63 Thin 10SCXR"}, {"Micro-Star International Co., Ltd.", {}, "REV:1.0", VERSION, false, true}},
      {{"Dell Inc.", "Latitude 9520"}, {"Dell Inc.", {}, "Latitude", FAMILY, false, true}},
      {{"Matsushita Electric Industrial Co.,Ltd.", "CF-19CHBCDBM"}, {"Matsushita Electric Industrial Co.,Ltd.", {}, "001", VERSION, false, false}},
      {{"SAMSUNG ELECTRONICS CO., LTD.", "R580/R590                  "}, {"SAMSUNG ELECTRONICS CO., LTD.", {}, "R580/R590", PRODUCT, false, true}},
      {{"Notebook                        ", "W65_67SB                        "}, {"Notebook", {}, "W65_67SB", PRODUCT, false, false}},
      {{"ASUSTeK Computer Inc.        ", "X71Q                "}, {"ASUSTeK Computer Inc.", {}, "1.0", VERSION, false, true}},
      {{"LENOVO", "HuronRiver Platform"}, {"LENOVO", {}, "Ideapad Z570", VERSION, false, false}},
      {{"LENOVO", "7829BH2"}, {"LENOVO", "7829", "ThinkPad L420", VERSION, true, false}},
      {{"Medion", "P6669 MD60147"}, {"Medion", {}, "1.0", VERSION, false, false}},
      {{"Jumper", "EZpad"}, {"Jumper", {}, "Tablet", FAMILY, false, false}},
      {{"LENOVO", "81FW"}, {"LENOVO", "81FW", "Lenovo Legion Y7000", VERSION, false, false}},
      {{"Apple Inc.", "MacBookPro11,2"}, {"Apple Inc.", {}, "1.0", VERSION, false, false}},
      {{"GPU Company", "GWTN116-3"}, {"GPU Company", {}, "GWTN116-3 N Series", FAMILY, false, false}},
      {{"LENOVO", "2325AEG"}, {"LENOVO", "2325", "ThinkPad X230", VERSION, true, false}},
      {{"TOSHIBA", "Satellite M305"}, {"TOSHIBA", {}, "PSMD8U-02R015", VERSION, false, true}},
      {{"OEM                 ", "                                   "}, {"OEM", {}, {}, {}, false, false}},
  };
  return rows;
}

TEST(SampleIdentities, EveryRealIdentityBuildsAndTheHandWorkedOnesMatch) {
  const std::string path = OSTRANE_IDENTITIES_TSV;
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "identities sample not found at " << path;
  const std::vector<SampleIdentity> rows = testing::load_sample_identities(path);
  ASSERT_EQ(rows.size(), 400u);

  std::set<Key> checked_by_hand;
  for (const SampleIdentity& row : rows) {
    const std::string name = row.system_manufacturer + " / " + row.system_product_name;
    const auto record = parse_smbios(testing::sample_smbios_table(row));
    ASSERT_TRUE(record.has_value()) << name;
    const MachineIdentity id = build_identity(*record);

    // What holds for every row, whatever it is.
    EXPECT_EQ(id.sources.display_name.has_value(), id.display_name.has_value()) << name;
    EXPECT_EQ(id.sources.manufacturer.has_value(), id.manufacturer.has_value()) << name;
    if (id.mtm) {
      EXPECT_NE(id.sources.display_name, PRODUCT) << name;
    }
    EXPECT_EQ(id.record.system_serial_number, "SERIAL-0000") << name;

    const auto it = hand_worked().find({row.system_manufacturer, row.system_product_name});
    if (it == hand_worked().end()) continue;
    checked_by_hand.insert(it->first);
    const Expected& e = it->second;
    EXPECT_EQ(id.manufacturer, e.manufacturer) << name;
    EXPECT_EQ(id.mtm, e.mtm) << name;
    EXPECT_EQ(id.display_name, e.display_name) << name;
    EXPECT_EQ(id.sources.display_name, e.label) << name;
    EXPECT_EQ(is_lenovo_thinkpad(id), e.thinkpad) << name;
    EXPECT_EQ(is_known_other_vendor(id), e.known) << name;
  }
  // Every hand-worked row stands in the data.
  EXPECT_EQ(checked_by_hand.size(), hand_worked().size());
}

}  // namespace
}  // namespace ostrane
