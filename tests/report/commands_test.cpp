#include "src/report/commands.h"

#include <gtest/gtest.h>

#include "testing/smbios_table_builder.h"
#include "tests/profiles/profile_files.h"

namespace ostrane {
namespace {

using testing::FakeFileReader;

class CountingFirmware final : public FirmwareTableSource {
 public:
  std::expected<ByteBuffer, HalError> answer = ByteBuffer{};
  mutable int reads = 0;
  std::expected<ByteBuffer, HalError> read_raw_smbios() const override {
    ++reads;
    return answer;
  }
};

struct Emitted {
  std::vector<std::pair<std::string, std::optional<std::string>>> documents;
  bool succeed = true;
  EmitDocument sink() {
    return [this](std::string_view text, const std::optional<std::string>& out) {
      documents.emplace_back(std::string(text), out);
      return succeed;
    };
  }
};

CommandRequest request(std::string dir, std::optional<std::string> out = {}) {
  return CommandRequest{.profiles_dir = std::move(dir), .out = std::move(out)};
}

TEST(DetectCommand, ABadProfileDirectoryFailsBeforeTheFirmwareIsRead) {
  FakeFileReader files;
  files.listing_error = "The system cannot find the path specified. (os error 3)";
  CountingFirmware firmware;
  Emitted emitted;
  const auto result = detect_command(request("absent"), {files, firmware, emitted.sink()});
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().text, "profils (absent) : The system cannot find the path specified. (os error 3)");
  EXPECT_FALSE(result.error().reported);
  EXPECT_EQ(firmware.reads, 0);
  EXPECT_TRUE(emitted.documents.empty());
}

TEST(DetectCommand, AFirmwareErrorIsItsDisplayText) {
  FakeFileReader files;
  CountingFirmware firmware;
  firmware.answer = std::unexpected(HalError::access_denied("lecture de la table RSMB refusée"));
  Emitted emitted;
  const auto result = detect_command(request("profiles"), {files, firmware, emitted.sink()});
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().text, "accès refusé : lecture de la table RSMB refusée");
  EXPECT_TRUE(emitted.documents.empty());
}

TEST(DetectCommand, ResolvesAgainstTheLoadedProfilesAndEmitsToOut) {
  FakeFileReader files;
  files.listing = {"x1.toml"};
  files.files = {{"p\\x1.toml", std::string("schema_version = 1\nid = \"x1\"\ndisplay_name = \"X1\"\n"
                                            "scope = \"model\"\n[matches]\nmtm = [\"20xw\"]\n")}};
  CountingFirmware firmware;
  firmware.answer = testing::SmbiosTableBuilder()
                        .structure(1, 27, {{0x04, 1}, {0x05, 2}, {0x07, 3}}, {"LENOVO", "20XWCTO1WW", "SERIAL-42"})
                        .bytes();
  Emitted emitted;
  const auto result = detect_command(request("p", "r.json"), {files, firmware, emitted.sink()});
  ASSERT_TRUE(result.has_value());
  ASSERT_EQ(emitted.documents.size(), 1u);
  const auto& [text, out] = emitted.documents[0];
  EXPECT_EQ(out, "r.json");
  EXPECT_NE(text.find("\"resolution\": \"exact\",\n  \"profile_id\": \"x1\",\n  \"profiles_loaded\": 1,"),
            std::string::npos);
  EXPECT_EQ(text.find("SERIAL-42"), std::string::npos);
}

TEST(Commands, AFailedWriteIsAlreadyReported) {
  FakeFileReader files;
  CountingFirmware firmware;
  Emitted emitted;
  emitted.succeed = false;
  for (const auto& run : {detect_command, profiles_command}) {
    const auto result = run(request("p", "out"), {files, firmware, emitted.sink()});
    ASSERT_FALSE(result.has_value());
    EXPECT_TRUE(result.error().reported);
  }
}

TEST(ProfilesCommand, ListsWithoutReadingTheFirmware) {
  FakeFileReader files;
  files.listing = {"readme.md"};
  CountingFirmware firmware;
  Emitted emitted;
  ASSERT_TRUE(profiles_command(request("d"), {files, firmware, emitted.sink()}).has_value());
  EXPECT_EQ(firmware.reads, 0);
  ASSERT_EQ(emitted.documents.size(), 1u);
  EXPECT_TRUE(emitted.documents[0].first.ends_with("\"profiles\": []\n}"));
  EXPECT_EQ(emitted.documents[0].second, std::nullopt);

  files.listing_error = "denied (os error 5)";
  const auto failed = profiles_command(request("d\\"), {files, firmware, emitted.sink()});
  EXPECT_EQ(failed.error().text, "profils (d\\) : denied (os error 5)");
}

}  // namespace
}  // namespace ostrane
