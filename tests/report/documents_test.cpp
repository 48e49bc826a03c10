#include "src/report/documents.h"

#include <gtest/gtest.h>

namespace ostrane {
namespace {

const std::string kNotice =
    "Ostrane est un projet ind\xC3\xA9pendant et NON OFFICIEL. Il n'est ni d\xC3\xA9velopp\xC3\xA9, ni approuv\xC3\xA9, "
    "ni soutenu par Lenovo. ThinkPad et Lenovo sont des marques de Lenovo. Fourni sans garantie : utilisation \xC3\xA0 "
    "vos risques.";

TEST(Notice, IsItsOwnTextAndSize) {
  EXPECT_EQ(NOTICE, kNotice);
  EXPECT_EQ(NOTICE.size(), 211u);
}

TEST(DetectionReport, WritesEveryMemberInOrderWithNullsInPlace) {
  MachineIdentity id = build_identity({.bios_vendor = "LENOVO",
                                       .bios_version = "N32ET75W (1.51 )",
                                       .bios_release_date = "12/06/2021",
                                       .system_manufacturer = "LENOVO",
                                       .system_product_name = "20XWCTO1WW",
                                       .system_version = "ThinkPad \"X1\" \\ Gen\t9 \xC3\xA9",
                                       .system_serial_number = "PF-SERIAL-123"});
  const MachineProfile profile{.id = "x1-carbon-gen9", .scope = ProfileScope::Model};
  EXPECT_EQ(build_detection_report(id, {ResolutionKind::Exact, &profile}, 52),
            "{\n"
            "  \"notice\": \"" + kNotice + "\",\n"
            "  \"backend\": \"windows-native\",\n"
            "  \"manufacturer\": \"LENOVO\",\n"
            "  \"mtm\": \"20XW\",\n"
            "  \"display_name\": \"ThinkPad \\\"X1\\\" \\\\ Gen\\t9 \xC3\xA9\",\n"
            "  \"bios_vendor\": \"LENOVO\",\n"
            "  \"bios_version\": \"N32ET75W (1.51 )\",\n"
            "  \"bios_release_date\": \"12/06/2021\",\n"
            "  \"resolution\": \"exact\",\n"
            "  \"profile_id\": \"x1-carbon-gen9\",\n"
            "  \"profiles_loaded\": 52,\n"
            "  \"sources\": {\n"
            "    \"manufacturer\": \"SMBIOS type 1 (System) : Manufacturer\",\n"
            "    \"mtm\": \"SMBIOS type 1 (System) : Product Name\",\n"
            "    \"display_name\": \"SMBIOS type 1 (System) : Version\",\n"
            "    \"bios_vendor\": \"SMBIOS type 0 (BIOS) : Vendor\",\n"
            "    \"bios_version\": \"SMBIOS type 0 (BIOS) : Version\",\n"
            "    \"bios_release_date\": \"SMBIOS type 0 (BIOS) : Release Date\"\n"
            "  }\n"
            "}");
}

TEST(DetectionReport, AnEmptyIdentityIsAllNulls) {
  EXPECT_EQ(build_detection_report(build_identity({}), {ResolutionKind::Unsupported}, 0),
            "{\n"
            "  \"notice\": \"" + kNotice + "\",\n"
            "  \"backend\": \"windows-native\",\n"
            "  \"manufacturer\": null,\n"
            "  \"mtm\": null,\n"
            "  \"display_name\": null,\n"
            "  \"bios_vendor\": null,\n"
            "  \"bios_version\": null,\n"
            "  \"bios_release_date\": null,\n"
            "  \"resolution\": \"unsupported\",\n"
            "  \"profile_id\": null,\n"
            "  \"profiles_loaded\": 0,\n"
            "  \"sources\": {\n"
            "    \"manufacturer\": null,\n"
            "    \"mtm\": null,\n"
            "    \"display_name\": null,\n"
            "    \"bios_vendor\": null,\n"
            "    \"bios_version\": null,\n"
            "    \"bios_release_date\": null\n"
            "  }\n"
            "}");
}

TEST(DetectionReport, NeverCarriesTheSerialNumber) {
  const MachineIdentity id = build_identity({.system_manufacturer = "Dell Inc.",
                                             .system_product_name = "Latitude 5420",
                                             .system_serial_number = "SERIAL-7QX9Z"});
  const std::string report = build_detection_report(id, {ResolutionKind::DynamicProbe}, 3);
  EXPECT_EQ(report.find("SERIAL-7QX9Z"), std::string::npos);
  EXPECT_NE(report.find("\"resolution\": \"dynamic_probe\",\n  \"profile_id\": null,"), std::string::npos);
}

TEST(ProfileListing, OneSummaryPerProfileInLoadOrder) {
  const std::vector<MachineProfile> profiles = {
      {.id = "z", .display_name = "ThinkPad Z", .scope = ProfileScope::Model},
      {.id = "a",
       .display_name = "Famille \xC3\xA9",
       .scope = ProfileScope::Family,
       .capabilities = {Capability{.id = "c1"}, Capability{.id = "c2"}}},
  };
  EXPECT_EQ(build_profile_listing(profiles),
            "{\n"
            "  \"notice\": \"" + kNotice + "\",\n"
            "  \"profiles\": [\n"
            "    {\n"
            "      \"id\": \"z\",\n"
            "      \"display_name\": \"ThinkPad Z\",\n"
            "      \"scope\": \"model\",\n"
            "      \"capabilities\": 0\n"
            "    },\n"
            "    {\n"
            "      \"id\": \"a\",\n"
            "      \"display_name\": \"Famille \xC3\xA9\",\n"
            "      \"scope\": \"family\",\n"
            "      \"capabilities\": 2\n"
            "    }\n"
            "  ]\n"
            "}");
  EXPECT_EQ(build_profile_listing({}), "{\n  \"notice\": \"" + kNotice + "\",\n  \"profiles\": []\n}");
}

}  // namespace
}  // namespace ostrane
