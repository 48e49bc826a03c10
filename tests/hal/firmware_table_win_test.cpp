#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>

#include "hal/smbios/firmware_table.h"
#include "hal/smbios/parse_smbios.h"

namespace ostrane {
namespace {

constexpr DWORD RSMB = 0x52534D42;

TEST(WindowsFirmwareTable, ReturnsTheTableThePlatformHoldsWithoutItsHeader) {
  const WindowsFirmwareTable source;
  const auto table = source.read_raw_smbios();
  if (!table && table.error() == HalError::unavailable("table RSMB absente")) {
    GTEST_SKIP() << "this system has no SMBIOS table to read";
  }
  ASSERT_TRUE(table) << display(table.error());

  // An independent read of the same blob: the table must be its bytes after
  // the 8-byte header, as many as the header announces.
  const UINT size = ::GetSystemFirmwareTable(RSMB, 0, nullptr, 0);
  ASSERT_GE(size, 8u);
  ByteBuffer raw(size);
  ASSERT_EQ(::GetSystemFirmwareTable(RSMB, 0, raw.data(), size), size);
  const std::uint32_t length = raw[4] | raw[5] << 8 | raw[6] << 16 | static_cast<std::uint32_t>(raw[7]) << 24;
  ASSERT_LE(std::uint64_t{length} + 8, size);
  EXPECT_EQ(*table, ByteBuffer(raw.begin() + 8, raw.begin() + 8 + length));
}

TEST(WindowsFirmwareTable, PlatformTableIsWellFormed) {
  const auto table = WindowsFirmwareTable().read_raw_smbios();
  if (!table && table.error().kind == HalErrorKind::Unavailable) {
    GTEST_SKIP() << "this system has no SMBIOS table to read";
  }
  ASSERT_TRUE(table) << display(table.error());
  const auto record = parse_smbios(*table);
  EXPECT_TRUE(record) << display(record.error());
}

}  // namespace
}  // namespace ostrane
