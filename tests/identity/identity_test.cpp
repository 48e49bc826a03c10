#include <gtest/gtest.h>

#include "src/identity/machine_identity.h"
#include "src/identity/vendor.h"

namespace ostrane {
namespace {

using Text = std::optional<std::string>;

TEST(MeaningfulValue, DropsBlankTextsAndWholePlaceholders) {
  struct Case {
    Text input, expected;
  };
  const Case cases[] = {
      {std::nullopt, std::nullopt},
      {"", std::nullopt},
      {" \t\xC2\xA0 ", std::nullopt},
      {"  LENOVO  ", "LENOVO"},
      {" N/A ", std::nullopt},
      {"None", std::nullopt},
      {"NONE", std::nullopt},
      {"undefined", std::nullopt},
      {"Not Specified", std::nullopt},
      {"System Version", std::nullopt},
      {"Not Applicable", std::nullopt},
      {"Default string", std::nullopt},
      {"System Product Name", std::nullopt},
      {"To Be Filled By O.E.M.", std::nullopt},
      {"\tTO BE FILLED BY O.E.M.\n", std::nullopt},
      {"To be filled by O.E.M", "To be filled by O.E.M"},
      {"None available", "None available"},
      {"System manufacturer", "System manufacturer"},
      {"N/A2", "N/A2"},
      {"NÔNE", "NÔNE"},
      {"ThinkPad X1 Carbon Gen 9", "ThinkPad X1 Carbon Gen 9"},
  };
  for (const auto& c : cases) EXPECT_EQ(meaningful_value(c.input), c.expected) << c.input.value_or("(absent)");
}

TEST(DeriveMtm, TakesADigitAndThreeLettersOrDigits) {
  struct Case {
    std::string_view input;
    Text expected;
  };
  const Case cases[] = {
      {"20XWCTO1WW", "20XW"}, {"20xw-foo", "20XW"}, {"  21cbS0A100 ", "21CB"}, {"2325", "2325"},
      {"81J7", "81J7"},       {"Latitude 5420", std::nullopt},          {"X1 Carbon", std::nullopt},
      {"20X", std::nullopt},  {"20X-", std::nullopt},                   {"20 XW", std::nullopt},
      {"2éXW", std::nullopt}, {"20XÉ", std::nullopt},                   {"", std::nullopt},
      {"9_AB", std::nullopt},
      // Lenovo's five-digit product numbers name no machine type; a ThinkPad's
      // machine type and model code keep theirs.
      {"20079", std::nullopt},   {"20021,2959", std::nullopt}, {" 20206  ", std::nullopt},
      {"20238 ", std::nullopt},  {"20384-A", std::nullopt},    {"20040M18", "2004"},
      {"23252G9", "2325"},       {"2325A12", "2325"},          {"1951A12", "1951"},
      {"2007912", "2007"},       {"2007", "2007"},             {"200795", "2007"},
  };
  for (const auto& c : cases) EXPECT_EQ(derive_mtm(c.input), c.expected) << c.input;
}

struct IdentityCase {
  std::string_view name;
  SmbiosRecord record;
  Text manufacturer, mtm, display_name;
  std::optional<std::string_view> display_label;
};

TEST(BuildIdentity, ChoosesValuesAndLabels) {
  const IdentityCase cases[] = {
      {"padded manufacturer", {.system_manufacturer = "  LENOVO "}, "LENOVO", std::nullopt, std::nullopt, {}},
      {"version after a machine type",
       {.system_product_name = "20XWCTO1WW", .system_version = "ThinkPad X1 Carbon Gen 9"},
       std::nullopt, "20XW", "ThinkPad X1 Carbon Gen 9", "SMBIOS type 1 (System) : Version"},
      {"family when the version is a placeholder",
       {.system_product_name = "Latitude 9520", .system_version = "Not Specified", .system_family = "Latitude"},
       std::nullopt, std::nullopt, "Latitude", "SMBIOS type 1 (System) : Family"},
      {"baseboard, never the product name that gave the machine type",
       {.system_product_name = "20XWCTO1WW", .system_version = "System Version", .baseboard_product = "20XWCTO1WW"},
       std::nullopt, "20XW", "20XWCTO1WW", "SMBIOS type 2 (Baseboard) : Product"},
      {"a machine type is not a name even alone", {.system_product_name = "20XWCTO1WW"}, std::nullopt, "20XW",
       std::nullopt, {}},
      {"product name when it gave no machine type",
       {.system_product_name = "Latitude 5420", .system_version = "Not Specified"}, std::nullopt, std::nullopt,
       "Latitude 5420", "SMBIOS type 1 (System) : Product Name"},
      {"placeholder product name",
       {.system_product_name = "To Be Filled By O.E.M.", .baseboard_product = "CRESCENTBAY"}, std::nullopt,
       std::nullopt, "CRESCENTBAY", "SMBIOS type 2 (Baseboard) : Product"},
      {"a five-digit product number is a name, not a machine type", {.system_product_name = "20079"},
       std::nullopt, std::nullopt, "20079", "SMBIOS type 1 (System) : Product Name"},
      {"everything absent", {}, std::nullopt, std::nullopt, std::nullopt, {}},
  };
  for (const auto& c : cases) {
    const MachineIdentity id = build_identity(c.record);
    EXPECT_EQ(id.manufacturer, c.manufacturer) << c.name;
    EXPECT_EQ(id.mtm, c.mtm) << c.name;
    EXPECT_EQ(id.display_name, c.display_name) << c.name;
    EXPECT_EQ(id.sources.display_name, c.display_label) << c.name;
    EXPECT_EQ(id.sources.manufacturer.has_value(), id.manufacturer.has_value()) << c.name;
    EXPECT_EQ(id.sources.mtm, c.mtm ? std::optional<std::string_view>("SMBIOS type 1 (System) : Product Name")
                                    : std::nullopt)
        << c.name;
    EXPECT_EQ(id.record, c.record) << c.name;
  }
}

TEST(BuildIdentity, BiosTextsAreReportedUnfiltered) {
  const MachineIdentity id = build_identity(
      {.bios_vendor = "Default string", .bios_version = "N/A", .bios_release_date = "01/02/2023"});
  EXPECT_EQ(id.record.bios_vendor, "Default string");
  EXPECT_EQ(id.sources.bios_vendor, "SMBIOS type 0 (BIOS) : Vendor");
  EXPECT_EQ(id.sources.bios_version, "SMBIOS type 0 (BIOS) : Version");
  EXPECT_EQ(id.sources.bios_release_date, "SMBIOS type 0 (BIOS) : Release Date");
  const MachineIdentity none = build_identity({});
  EXPECT_EQ(none.sources, IdentitySources{});
}

class FakeFirmware final : public FirmwareTableSource {
 public:
  explicit FakeFirmware(std::expected<ByteBuffer, HalError> answer) : answer_(std::move(answer)) {}
  std::expected<ByteBuffer, HalError> read_raw_smbios() const override { return answer_; }

 private:
  std::expected<ByteBuffer, HalError> answer_;
};

TEST(DetectIdentity, PassesErrorsOnUnchanged) {
  const HalError absent = HalError::unavailable("table RSMB absente");
  EXPECT_EQ(detect_identity(FakeFirmware(std::unexpected(absent))).error(), absent);
  const ByteBuffer bad = {1, 3, 0, 0};
  EXPECT_EQ(detect_identity(FakeFirmware(bad)).error(),
            HalError::invalid_data("structure SMBIOS invalide à l'offset 0"));
  const ByteBuffer empty;
  EXPECT_EQ(detect_identity(FakeFirmware(empty)).value(), build_identity({}));
}

struct VendorCase {
  Text manufacturer, display_name;
  bool thinkpad, known;
};

TEST(VendorTests, RecogniseThinkPadsAndOtherMakers) {
  const VendorCase cases[] = {
      {"LENOVO", "ThinkPad T14 Gen 3", true, false},
      {"lenovo", "THINKPAD", true, false},
      {"Lenovo", "IdeaPad 5 14ALC05", false, false},
      {"Lenovo Group", "ThinkPad T14", false, false},
      {"LENOVO", std::nullopt, false, false},
      {"LÉNOVO", "ThinkPad T14", false, false},
      {"HP", std::nullopt, false, true},
      {"Hewlett-Packard", std::nullopt, false, true},
      {"Dell Inc.", std::nullopt, false, true},
      {"Micro-Star International Co., Ltd.", std::nullopt, false, true},
      {"ASUSTeK COMPUTER INC.", std::nullopt, false, true},
      {"Framework", std::nullopt, false, true},
      {"SAMSUNG ELECTRONICS CO., LTD.", std::nullopt, false, true},
      {"LG Electronics", std::nullopt, false, true},
      {"LGElectronics", std::nullopt, false, false},
      {"Notebook", std::nullopt, false, false},
      {"Apple Inc.", std::nullopt, false, false},
      {"CHUWI Innovation And Technology(ShenZhen)co.,Ltd", std::nullopt, false, false},
      {"SmartHPC", std::nullopt, false, true},  // "hp" anywhere counts
      {std::nullopt, "ThinkPad X1", false, false},
  };
  for (const auto& c : cases) {
    MachineIdentity id;
    id.manufacturer = c.manufacturer;
    id.display_name = c.display_name;
    const std::string name = c.manufacturer.value_or("(absent)") + " / " + c.display_name.value_or("(absent)");
    EXPECT_EQ(is_lenovo_thinkpad(id), c.thinkpad) << name;
    EXPECT_EQ(is_known_other_vendor(id), c.known) << name;
  }
}

}  // namespace
}  // namespace ostrane
