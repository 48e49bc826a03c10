#pragma once
// Where the SMBIOS structure table comes from.

#include <cstdint>
#include <expected>
#include <span>
#include <vector>

#include "hal/hal_error.h"

namespace ostrane {

using ByteBuffer = std::vector<std::uint8_t>;

class FirmwareTableSource {
 public:
  virtual ~FirmwareTableSource() = default;
  // The structure table alone, without the 8-byte header in front of it.
  virtual std::expected<ByteBuffer, HalError> read_raw_smbios() const = 0;
};

// GetSystemFirmwareTable, provider RSMB. Defined by the Windows layer.
class WindowsFirmwareTable final : public FirmwareTableSource {
 public:
  std::expected<ByteBuffer, HalError> read_raw_smbios() const override;
};

// The checks made on what the platform returned: `size` is the answer of the
// size query, `written` that of the read, `buffer` the buffer it filled.
// Returns a copy of the structure table the header announces.
std::expected<ByteBuffer, HalError> structure_table_from_raw(std::uint32_t size, std::uint32_t written,
                                                             std::span<const std::uint8_t> buffer);

}  // namespace ostrane
