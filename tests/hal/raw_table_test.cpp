#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "hal/smbios/firmware_table.h"
#include "hal/smbios/parse_smbios.h"

namespace ostrane {
namespace {

using namespace std::string_view_literals;

// The 8-byte header the platform puts in front of the structure table, with
// version bytes that nothing may depend on.
ByteBuffer blob(std::uint32_t length, std::string_view table, std::uint8_t major = 3, std::uint8_t minor = 4) {
  ByteBuffer b(8 + table.size());
  b[1] = major;
  b[2] = minor;
  for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<std::uint8_t>(length >> (8 * i));
  std::copy(table.begin(), table.end(), b.begin() + 8);
  return b;
}

std::uint32_t size_of(const ByteBuffer& b) { return static_cast<std::uint32_t>(b.size()); }

TEST(StructureTableFromRaw, RejectsWhatThePlatformCallsReport) {
  struct Case {
    std::string_view name;
    std::uint32_t size;
    std::uint32_t written;
    ByteBuffer buffer;
    HalError expected;
  };
  const ByteBuffer good = blob(4, "\x7F\x04\x00\x00"sv);
  const HalError absent = HalError::unavailable("table RSMB absente");
  const HalError refused = HalError::access_denied("lecture de la table RSMB refusée");
  const HalError short_header = HalError::invalid_data("en-tête RSMB trop court");
  const HalError incoherent = HalError::invalid_data("longueur RSMB incohérente");
  const Case cases[] = {
      {"size query answered 0", 0, 0, {}, absent},
      {"size 0 wins over a later count", 0, 12, good, absent},
      {"nothing written", size_of(good), 0, good, refused},
      {"more written than asked for", size_of(good), size_of(good) + 1, good, refused},
      {"one byte written", 16, 1, ByteBuffer(16), short_header},
      {"seven bytes written", 16, 7, ByteBuffer(16), short_header},
      {"length one past what was written", 12, 12, blob(5, "\x7F\x04\x00\x00"sv), incoherent},
      {"length near 2^32 does not wrap", 12, 12, blob(0xFFFFFFFFu, "\x7F\x04\x00\x00"sv), incoherent},
      {"length 2^32 - 8 does not wrap to 0", 12, 12, blob(0xFFFFFFF8u, "\x7F\x04\x00\x00"sv), incoherent},
      {"bytes past the written count do not count", 16, 10, blob(8, "ABCDEFGH"), incoherent},
      {"buffer shorter than the written count", 16, 16, blob(8, "ABC"), incoherent},
      {"buffer too short for the header", 16, 16, ByteBuffer{0, 3, 4, 0}, short_header},
  };
  for (const Case& c : cases) {
    const auto result = structure_table_from_raw(c.size, c.written, c.buffer);
    ASSERT_FALSE(result) << c.name;
    EXPECT_EQ(result.error(), c.expected) << c.name << ": " << display(result.error());
  }
}

TEST(StructureTableFromRaw, ReturnsExactlyTheAnnouncedBytes) {
  struct Case {
    std::string_view name;
    std::uint32_t size;
    std::uint32_t written;
    ByteBuffer buffer;
    std::string_view expected;
  };
  const Case cases[] = {
      {"whole buffer", 12, 12, blob(4, "\x7F\x04\x00\x00"sv), "\x7F\x04\x00\x00"sv},
      {"trailing written bytes are left out", 14, 14, blob(4, "\x7F\x04\x00\x00\xEE\xEE"sv), "\x7F\x04\x00\x00"sv},
      {"fewer bytes written than asked for", 32, 12, blob(4, "\x7F\x04\x00\x00"sv), "\x7F\x04\x00\x00"sv},
      {"length 0 gives an empty table", 8, 8, blob(0, ""), std::string_view()},
      {"version bytes are ignored", 10, 10, blob(2, "AB", 0xFF, 0xFF), "AB"},
      {"SMBIOS 2.x header", 10, 10, blob(2, "AB", 2, 7), "AB"},
  };
  for (const Case& c : cases) {
    ByteBuffer buffer = c.buffer;
    buffer.resize(c.size);
    const auto result = structure_table_from_raw(c.size, c.written, buffer);
    ASSERT_TRUE(result) << c.name << ": " << display(result.error());
    EXPECT_EQ(*result, ByteBuffer(c.expected.begin(), c.expected.end())) << c.name;
  }
}

TEST(StructureTableFromRaw, EmptyTableOfAnEightByteBlobParsesToAnEmptyRecord) {
  const ByteBuffer raw = blob(0, "");
  const auto table = structure_table_from_raw(8, 8, raw);
  ASSERT_TRUE(table) << display(table.error());
  const auto record = parse_smbios(*table);
  ASSERT_TRUE(record) << display(record.error());
  EXPECT_EQ(*record, SmbiosRecord{});
}

}  // namespace
}  // namespace ostrane
