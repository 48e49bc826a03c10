#pragma once
// The walk over the SMBIOS structure table.

#include <cstdint>
#include <expected>
#include <span>

#include "hal/hal_error.h"
#include "hal/smbios/smbios_record.h"

namespace ostrane {

std::expected<SmbiosRecord, HalError> parse_smbios(std::span<const std::uint8_t> table);

}  // namespace ostrane
