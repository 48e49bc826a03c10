#pragma once
// What the firmware says this machine is, and where each value came from.

#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "hal/hal_error.h"
#include "hal/smbios/firmware_table.h"
#include "hal/smbios/smbios_record.h"

namespace ostrane {

inline constexpr std::string_view LABEL_MANUFACTURER = "SMBIOS type 1 (System) : Manufacturer";
inline constexpr std::string_view LABEL_PRODUCT_NAME = "SMBIOS type 1 (System) : Product Name";
inline constexpr std::string_view LABEL_VERSION = "SMBIOS type 1 (System) : Version";
inline constexpr std::string_view LABEL_FAMILY = "SMBIOS type 1 (System) : Family";
inline constexpr std::string_view LABEL_BASEBOARD_PRODUCT = "SMBIOS type 2 (Baseboard) : Product";
inline constexpr std::string_view LABEL_BIOS_VENDOR = "SMBIOS type 0 (BIOS) : Vendor";
inline constexpr std::string_view LABEL_BIOS_VERSION = "SMBIOS type 0 (BIOS) : Version";
inline constexpr std::string_view LABEL_BIOS_RELEASE_DATE = "SMBIOS type 0 (BIOS) : Release Date";

// Each label is one of the fixed texts above, absent exactly when its value is.
struct IdentitySources {
  std::optional<std::string_view> manufacturer;
  std::optional<std::string_view> mtm;
  std::optional<std::string_view> display_name;
  std::optional<std::string_view> bios_vendor;
  std::optional<std::string_view> bios_version;
  std::optional<std::string_view> bios_release_date;
  friend bool operator==(const IdentitySources&, const IdentitySources&) = default;
};

struct MachineIdentity {
  SmbiosRecord record;  // the nine texts as parsed; the BIOS values are read from here
  std::optional<std::string> manufacturer;
  std::optional<std::string> mtm;
  std::optional<std::string> display_name;
  IdentitySources sources;
  friend bool operator==(const MachineIdentity&, const MachineIdentity&) = default;
};

// Trimmed, or absent when empty or a stock placeholder text.
std::optional<std::string> meaningful_value(const std::optional<std::string>& text);

// The machine type: the first four characters when they are a digit and
// three ASCII letters or digits, upper-cased.
std::optional<std::string> derive_mtm(std::string_view product_name);

MachineIdentity build_identity(SmbiosRecord record);

std::expected<MachineIdentity, HalError> detect_identity(const FirmwareTableSource& source);

}  // namespace ostrane
