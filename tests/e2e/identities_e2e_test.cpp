// The 400 real identities of the shared data set through the real
// executable, each report compared with the one the portable core builds
// from the same texts.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "src/common/text.h"
#include "src/common/utf8.h"
#include "src/identity/machine_identity.h"
#include "src/profiles/load_profiles.h"
#include "src/profiles/resolve_profile.h"
#include "src/report/documents.h"
#include "tests/e2e/ostrane_process.h"
#include "tests/identity/sample_identities.h"

namespace ostrane::e2e {
namespace {

namespace fs = std::filesystem;

// dmidecode printed string number 0 as "Not Specified": such a field has no
// file. Wine makes the table's strings from the files' texts and its own
// structure lengths, so the lengths of the original reports play no part.
std::optional<std::string> as_firmware_text(const std::string& text) {
  if (text.empty() || text == "Not Specified") return std::nullopt;
  return text;
}

// What the walk keeps of a string: trimmed, absent when empty.
std::optional<std::string> as_parsed(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  const std::string decoded = decode_utf8_lossy(*text);
  const std::string_view trimmed = trim_white_space(decoded);
  if (trimmed.empty()) return std::nullopt;
  return std::string(trimmed);
}

TEST(SampleIdentitiesThroughTheExecutable, EveryReportMatchesThePortableCore) {
  ASSERT_TRUE(fs::exists(ostrane_exe())) << ostrane_exe() << " is missing: build the windows preset first";
  if (auto why = dmi_namespace_unavailable()) GTEST_SKIP() << *why;
  const std::string tsv = OSTRANE_IDENTITIES_TSV;
  if (!fs::exists(tsv)) GTEST_SKIP() << "identities sample not found at " << tsv;

  const std::string profiles_dir = OSTRANE_PROFILES_DIR;
  const auto profiles = load_profiles(profiles_dir + "/", SystemFileReader{});
  ASSERT_TRUE(profiles.has_value()) << profiles.error();

  const std::string serial = "SERIAL-E2E-5K2P";
  std::size_t compared = 0;
  for (const testing::SampleIdentity& row : testing::load_sample_identities(tsv)) {
    const std::pair<const char*, const std::string*> fields[] = {
        {"bios_vendor", &row.bios_vendor},         {"bios_version", &row.bios_version},
        {"bios_date", &row.bios_release_date},     {"sys_vendor", &row.system_manufacturer},
        {"product_name", &row.system_product_name}, {"product_version", &row.system_version},
        {"product_family", &row.system_family},    {"board_name", &row.baseboard_product},
    };
    DmiFiles files{{"product_serial", serial + "\n"}};
    for (const auto& [file, text] : fields) {
      if (const auto firmware = as_firmware_text(*text)) files.emplace(file, *firmware + "\n");
    }
    SmbiosRecord record{
        .bios_vendor = as_parsed(as_firmware_text(row.bios_vendor)),
        .bios_version = as_parsed(as_firmware_text(row.bios_version)),
        .bios_release_date = as_parsed(as_firmware_text(row.bios_release_date)),
        .system_manufacturer = as_parsed(as_firmware_text(row.system_manufacturer)),
        .system_product_name = as_parsed(as_firmware_text(row.system_product_name)),
        .system_version = as_parsed(as_firmware_text(row.system_version)),
        .system_family = as_parsed(as_firmware_text(row.system_family)),
        .system_serial_number = serial,
        .baseboard_product = as_parsed(as_firmware_text(row.baseboard_product)),
    };
    const MachineIdentity identity = build_identity(std::move(record));
    const std::string expected =
        build_detection_report(identity, resolve_profile(*profiles, identity), profiles->size()) + "\n";

    const ProcessResult r = run_ostrane({.args = {"detect", "--profiles", profiles_dir}, .dmi = files});
    const std::string name = row.system_manufacturer + " / " + row.system_product_name;
    ASSERT_EQ(r.exit_code, 0) << name << "\nstandard error: " << r.err << "\nstandard output: " << r.out;
    EXPECT_EQ(r.err, "") << name;
    EXPECT_EQ(r.out, expected) << name;
    EXPECT_EQ(r.out.find(serial), std::string::npos) << name;
    ++compared;
  }
  EXPECT_EQ(compared, 400u);
  std::printf("identities: %zu runs of ostrane.exe detect, %d made again\n", compared, runs_made_again());
}

}  // namespace
}  // namespace ostrane::e2e
