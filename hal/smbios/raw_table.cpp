#include <algorithm>
#include <cstddef>

#include "hal/smbios/firmware_table.h"

namespace ostrane {
namespace {

constexpr std::size_t HEADER_SIZE = 8;
constexpr std::size_t LENGTH_OFFSET = 4;

}  // namespace

std::expected<ByteBuffer, HalError> structure_table_from_raw(std::uint32_t size, std::uint32_t written,
                                                             std::span<const std::uint8_t> buffer) {
  if (size == 0) return std::unexpected(HalError::unavailable("table RSMB absente"));
  if (written == 0 || written > size) {
    return std::unexpected(HalError::access_denied("lecture de la table RSMB refusée"));
  }
  // A caller whose buffer is shorter than the count it reports must not make
  // us read past it: only bytes both written and held are trusted.
  const std::size_t available = std::min<std::size_t>(written, buffer.size());
  if (available < HEADER_SIZE) return std::unexpected(HalError::invalid_data("en-tête RSMB trop court"));

  const std::uint64_t length = std::uint64_t{buffer[LENGTH_OFFSET]} | std::uint64_t{buffer[LENGTH_OFFSET + 1]} << 8 |
                               std::uint64_t{buffer[LENGTH_OFFSET + 2]} << 16 |
                               std::uint64_t{buffer[LENGTH_OFFSET + 3]} << 24;
  if (length + HEADER_SIZE > available) return std::unexpected(HalError::invalid_data("longueur RSMB incohérente"));

  const auto table = buffer.subspan(HEADER_SIZE, static_cast<std::size_t>(length));
  return ByteBuffer(table.begin(), table.end());
}

}  // namespace ostrane
