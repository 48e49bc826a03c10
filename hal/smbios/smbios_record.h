#pragma once
// The nine firmware texts the program takes from the SMBIOS table.

#include <optional>
#include <string>

namespace ostrane {

// Each value is absent or a non-empty, trimmed UTF-8 text, taken from the
// first structure of its type only.
struct SmbiosRecord {
  std::optional<std::string> bios_vendor;
  std::optional<std::string> bios_version;
  std::optional<std::string> bios_release_date;
  std::optional<std::string> system_manufacturer;
  std::optional<std::string> system_product_name;
  std::optional<std::string> system_version;
  std::optional<std::string> system_family;
  std::optional<std::string> system_serial_number;
  std::optional<std::string> baseboard_product;

  friend bool operator==(const SmbiosRecord&, const SmbiosRecord&) = default;
};

}  // namespace ostrane
