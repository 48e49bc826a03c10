#include "hal/smbios/parse_smbios.h"

#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "src/common/text.h"
#include "src/common/utf8.h"

namespace ostrane {
namespace {

constexpr std::uint8_t TYPE_BIOS = 0;
constexpr std::uint8_t TYPE_SYSTEM = 1;
constexpr std::uint8_t TYPE_BASEBOARD = 2;
constexpr std::uint8_t TYPE_END_OF_TABLE = 127;

HalError unterminated_strings() { return HalError::invalid_data("section de chaînes SMBIOS non terminée"); }

// Offset of the first of two consecutive NULs at or after `from`, both inside
// [0, n). Most string sets are a few dozen bytes long, so memchr from one NUL
// to the next beats a byte-by-byte loop without needing anything wider.
std::optional<std::size_t> find_double_nul(const std::uint8_t* table, std::size_t n, std::size_t from) {
  while (from + 1 < n) {
    const void* hit = std::memchr(table + from, 0, n - 1 - from);
    if (hit == nullptr) return std::nullopt;
    const auto at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - table);
    if (table[at + 1] == 0) return at;
    // table[at + 1] is not NUL, so no pair can start before at + 2.
    from = at + 2;
  }
  return std::nullopt;
}

// One structure as seen by the field readers: its formatted area and its
// string set without the closing double NUL.
struct Structure {
  const std::uint8_t* formatted;
  std::size_t length;
  std::string_view strings;

  std::optional<std::string> string_at(std::size_t offset) const {
    if (length <= offset) return std::nullopt;
    std::size_t number = formatted[offset];
    if (number == 0 || strings.empty()) return std::nullopt;

    std::size_t start = 0;
    while (--number > 0) {
      const std::size_t nul = strings.find('\0', start);
      if (nul == std::string_view::npos) return std::nullopt;
      start = nul + 1;
    }
    const std::string_view piece = strings.substr(start, strings.find('\0', start) - start);

    std::string decoded = decode_utf8_lossy(piece);
    const std::string_view trimmed = trim_white_space(decoded);
    if (trimmed.empty()) return std::nullopt;
    if (trimmed.size() == decoded.size()) return decoded;
    return std::string(trimmed);
  }
};

}  // namespace

std::expected<SmbiosRecord, HalError> parse_smbios(std::span<const std::uint8_t> table) {
  const std::uint8_t* const bytes = table.data();
  const std::size_t n = table.size();
  SmbiosRecord record;
  bool seen_bios = false;
  bool seen_system = false;
  bool seen_baseboard = false;

  std::size_t pos = 0;
  while (pos + 4 <= n) {
    const std::size_t len = bytes[pos + 1];
    if (len < 4 || pos + len > n) {
      return std::unexpected(HalError::invalid_data("structure SMBIOS invalide à l'offset " + std::to_string(pos)));
    }
    const std::size_t strings = pos + len;
    if (strings + 1 >= n) return std::unexpected(unterminated_strings());
    const std::optional<std::size_t> end = find_double_nul(bytes, n, strings);
    if (!end) return std::unexpected(unterminated_strings());

    const std::uint8_t type = bytes[pos];
    const bool wanted = (type == TYPE_BIOS && !seen_bios) || (type == TYPE_SYSTEM && !seen_system) ||
                        (type == TYPE_BASEBOARD && !seen_baseboard);
    if (wanted) {
      const Structure s{bytes + pos, len,
                        std::string_view(reinterpret_cast<const char*>(bytes + strings), *end - strings)};
      switch (type) {
        case TYPE_BIOS:
          record.bios_vendor = s.string_at(0x04);
          record.bios_version = s.string_at(0x05);
          record.bios_release_date = s.string_at(0x08);
          seen_bios = true;
          break;
        case TYPE_SYSTEM:
          record.system_manufacturer = s.string_at(0x04);
          record.system_product_name = s.string_at(0x05);
          record.system_version = s.string_at(0x06);
          record.system_serial_number = s.string_at(0x07);
          record.system_family = s.string_at(0x1A);
          seen_system = true;
          break;
        default:
          record.baseboard_product = s.string_at(0x05);
          seen_baseboard = true;
          break;
      }
    } else if (type == TYPE_END_OF_TABLE) {
      break;
    }
    pos = *end + 2;
  }
  return record;
}

}  // namespace ostrane
