#include "src/platform/file_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "src/platform/device_names.h"
#include "src/platform/directory_listing.h"

namespace ostrane {
namespace {

namespace fs = std::filesystem;

// The codes the system gives: Windows and POSIX differ, the form does not.
#ifdef _WIN32
constexpr std::string_view MISSING_DIRECTORY = " (os error 3)";
constexpr std::string_view MISSING_FILE = " (os error 2)";
constexpr std::string_view READ_A_DIRECTORY = " (os error 5)";
#else
constexpr std::string_view MISSING_DIRECTORY = " (os error 2)";
constexpr std::string_view MISSING_FILE = " (os error 2)";
constexpr std::string_view READ_A_DIRECTORY = " (os error 21)";
#endif

constexpr std::size_t ANY_SIZE = std::size_t{1} << 30;

bool ends_with(std::string_view text, std::string_view suffix) {
  return text.size() > suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

class SystemFileReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("ostrane-files-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                        "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "old.toml");
    std::ofstream(dir_ / "a.toml", std::ios::binary) << "id = \"\xC3\xA9\"\r\n";
    std::ofstream(dir_ / "empty.toml", std::ios::binary);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string path(std::string_view name) const { return (dir_ / name).string(); }
  fs::path dir_;
  SystemFileReader files_;
};

TEST_F(SystemFileReaderTest, ListsEntriesWithoutDotAndDotDot) {
  auto names = files_.list_directory(dir_.string());
  ASSERT_TRUE(names.has_value()) << names.error();
  std::sort(names->begin(), names->end());
  EXPECT_EQ(*names, (std::vector<std::string>{"a.toml", "empty.toml", "old.toml"}));
}

TEST_F(SystemFileReaderTest, ReadsBytesUnchanged) {
  EXPECT_EQ(files_.read_file(path("a.toml"), ANY_SIZE).value(), "id = \"\xC3\xA9\"\r\n");
  EXPECT_EQ(files_.read_file(path("empty.toml"), ANY_SIZE).value(), "");
}

// The reader takes 64 KiB at a time: sizes on both sides of one and two
// reads, with bytes that differ by place, so that a chunk put at the wrong
// offset or a short read taken for the end shows.
TEST_F(SystemFileReaderTest, ReadsFilesLongerThanOneReadWhole) {
  for (const std::size_t size : {65535u, 65536u, 65537u, 131072u, 200003u}) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) % 256);
    const std::string name = "big-" + std::to_string(size) + ".toml";
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
    const auto read = files_.read_file(path(name), ANY_SIZE);
    ASSERT_TRUE(read.has_value()) << read.error().system_text;
    EXPECT_EQ(read->size(), size);
    EXPECT_TRUE(*read == bytes) << "content differs for " << size << " bytes";
  }
}

TEST_F(SystemFileReaderTest, ErrorsAreSystemTextsWithTheirCode) {
  const auto missing_dir = files_.list_directory(path("absent"));
  ASSERT_FALSE(missing_dir.has_value());
  EXPECT_TRUE(ends_with(missing_dir.error(), MISSING_DIRECTORY)) << missing_dir.error();

  const auto missing_file = files_.read_file(path("absent.toml"), ANY_SIZE);
  ASSERT_FALSE(missing_file.has_value());
  EXPECT_TRUE(ends_with(missing_file.error().system_text, MISSING_FILE)) << missing_file.error().system_text;

  const auto directory = files_.read_file(path("old.toml"), ANY_SIZE);
  ASSERT_FALSE(directory.has_value());
  EXPECT_TRUE(ends_with(directory.error().system_text, READ_A_DIRECTORY)) << directory.error().system_text;
}

// Refused before a byte is read: a file past the size asked for (this one,
// sparse, would take 16 GiB of memory read whole), and, on the host, a FIFO
// with no writer (opening it would wait) and a device. Windows devices
// are opened by name, wherever the folder: the end-to-end tests try them.
TEST_F(SystemFileReaderTest, RefusesWhatIsTooLargeOrNotAFileOnADisk) {
  const auto refused = [](ReadFailure::Kind kind) { return std::unexpected(ReadFailure{kind, {}}); };
  std::ofstream(dir_ / "huge.toml", std::ios::binary).close();
  fs::resize_file(dir_ / "huge.toml", std::uintmax_t{16} << 30);
  EXPECT_EQ(files_.read_file(path("huge.toml"), 1 << 20), refused(ReadFailure::Kind::TooLarge));
  std::ofstream(dir_ / "k.toml", std::ios::binary) << std::string(1000, 'k');
  EXPECT_EQ(files_.read_file(path("k.toml"), 1000), std::string(1000, 'k'));
  EXPECT_EQ(files_.read_file(path("k.toml"), 999), refused(ReadFailure::Kind::TooLarge));
#ifndef _WIN32
  ASSERT_EQ(::mkfifo(path("fifo.toml").c_str(), 0600), 0);
  EXPECT_EQ(files_.read_file(path("fifo.toml"), ANY_SIZE), refused(ReadFailure::Kind::NotADiskFile));
  EXPECT_EQ(files_.read_file("/dev/zero", ANY_SIZE), refused(ReadFailure::Kind::NotADiskFile));
#endif
}

// The tags Windows documents, by what they are.
TEST(ReparseTags, OnlyThoseNamingAnotherPlaceAreLinks) {
  struct Case {
    std::string_view name;
    std::uint32_t tag;
    bool link;
  };
  const Case cases[] = {
      {"symbolic link", 0xA000000C, true}, {"junction", 0xA0000003, true},
      {"WSL link", 0xA000001D, true},      {"compressed by WOF", 0x80000017, false},
      {"deduplicated", 0x80000013, false}, {"cloud placeholder", 0x9000001A, false},
      {"app alias", 0x8000001B, false},    {"Unix socket", 0x80000023, false},
  };
  for (const Case& c : cases) EXPECT_EQ(is_link_reparse_tag(c.tag), c.link) << c.name;
}

TEST_F(SystemFileReaderTest, AnEmptyDirectoryNameIsNotTheDriveRoot) {
  const auto listing = files_.list_directory("");
  ASSERT_FALSE(listing.has_value());
  EXPECT_TRUE(ends_with(listing.error(), MISSING_DIRECTORY)) << listing.error();
}

TEST(DeviceNames, AreTakenByTheirStemInAnyCase) {
  for (const std::string_view name : {"CON.toml", "con.toml", "aux.toml", "NUL", "Com1.toml", "lpt9.x.toml",
                                      "PRN .toml", "CONIN$.toml", "conout$", "COM\xC2\xB9.toml", "COM0.toml"}) {
    EXPECT_TRUE(is_device_name(name)) << name;
  }
  for (const std::string_view name : {"console.toml", "con-x.toml", "xcon.toml", "COM10.toml", "LPT.toml",
                                      "COM\xC2\xB4.toml", "t14.toml", ".toml", ""}) {
    EXPECT_FALSE(is_device_name(name)) << name;
  }
}

// A listing that fails midway is an error, not a short listing.
TEST(CollectListing, AFailureMidwayFailsTheWholeListing) {
  using Kind = ListingStep::Kind;
  struct Case {
    std::string_view name;
    std::vector<ListingStep> steps;
    std::expected<std::vector<std::string>, std::string> expected;
  };
  const Case cases[] = {
      {"to the end",
       {{Kind::Entry, "."}, {Kind::Entry, "b.toml"}, {Kind::Entry, ".."}, {Kind::Entry, "a.toml"}, {Kind::End, {}}},
       std::vector<std::string>{"b.toml", "a.toml"}},
      {"empty", {{Kind::End, {}}}, std::vector<std::string>{}},
      {"failure after two entries",
       {{Kind::Entry, "a.toml"}, {Kind::Entry, "b.toml"}, {Kind::Failed, "The network name is no longer available. (os error 64)"},
        {Kind::Entry, "c.toml"}, {Kind::End, {}}},
       std::unexpected(std::string("The network name is no longer available. (os error 64)"))},
  };
  for (const Case& c : cases) {
    std::size_t at = 0;
    const auto listed = collect_listing([&] { return c.steps.at(at++); });
    EXPECT_EQ(listed, c.expected) << c.name;
  }
}

}  // namespace
}  // namespace ostrane
