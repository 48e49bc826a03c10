#include <windows.h>

#include "hal/smbios/firmware_table.h"

namespace ostrane {
namespace {

// 'RSMB' read as a big-endian 32-bit value, the way the API spells providers.
constexpr DWORD RSMB_PROVIDER = 0x52534D42;

}  // namespace

std::expected<ByteBuffer, HalError> WindowsFirmwareTable::read_raw_smbios() const {
  const UINT size = ::GetSystemFirmwareTable(RSMB_PROVIDER, 0, nullptr, 0);
  if (size == 0) return structure_table_from_raw(0, 0, {});

  ByteBuffer buffer(size);
  const UINT written = ::GetSystemFirmwareTable(RSMB_PROVIDER, 0, buffer.data(), size);
  return structure_table_from_raw(size, written, buffer);
}

}  // namespace ostrane
