#include "src/identity/machine_identity.h"

#include <algorithm>
#include <array>
#include <utility>

#include "hal/smbios/parse_smbios.h"
#include "src/common/text.h"
#include "src/common/utf8.h"

namespace ostrane {
namespace {

// Stock texts that firmware writes where it has no value, compared after
// ASCII lower-casing, whole text only.
constexpr std::array<std::string_view, 9> PLACEHOLDERS = {
    "n/a",
    "none",
    "undefined",
    "not specified",
    "system version",
    "not applicable",
    "default string",
    "system product name",
    "to be filled by o.e.m.",
};

bool is_placeholder(std::string_view trimmed) {
  const std::string folded = ascii_lower(trimmed);
  return std::ranges::any_of(PLACEHOLDERS, [&](std::string_view p) { return folded == p; });
}

bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }

// Lenovo's consumer laptops of about 2010-2014 name themselves by a
// five-digit product number ("20079" is a G570, "20021,2959" an IdeaPad S12).
// Its first four digits are often a ThinkPad's machine type (2007 is a T60),
// so reading them as one would name another model. A ThinkPad's name is a
// machine type and a model code ("2325A12", "23252G9", "20XWCTO1WW"): five
// digits there run on into a letter or a digit.
bool is_five_digit_product_number(std::string_view text) {
  if (text.size() < 5 || !std::ranges::all_of(text.substr(0, 5), is_ascii_digit)) return false;
  return text.size() == 5 || !is_ascii_alnum(text[5]);
}

std::optional<std::string_view> label_if(const std::optional<std::string>& value, std::string_view label) {
  if (value) return label;
  return std::nullopt;
}

}  // namespace

std::optional<std::string> meaningful_value(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  const std::string_view trimmed = trim_white_space(*text);
  if (trimmed.empty() || is_placeholder(trimmed)) return std::nullopt;
  return std::string(trimmed);
}

std::optional<std::string> derive_mtm(std::string_view product_name) {
  const std::string_view text = trim_white_space(product_name);
  // Four scalar values that must all be ASCII are four bytes: any non-ASCII
  // character among them fails the test below whatever its length.
  if (text.size() < 4) return std::nullopt;
  const std::string_view head = text.substr(0, 4);
  if (head[0] < '0' || head[0] > '9') return std::nullopt;
  if (!std::ranges::all_of(head, is_ascii_alnum)) return std::nullopt;
  if (is_five_digit_product_number(text)) return std::nullopt;
  return ascii_upper(head);
}

MachineIdentity build_identity(SmbiosRecord record) {
  MachineIdentity identity;
  const std::optional<std::string> product_name = meaningful_value(record.system_product_name);
  if (product_name) identity.mtm = derive_mtm(*product_name);
  identity.manufacturer = meaningful_value(record.system_manufacturer);

  // A product name that gave the machine type is a code, not a name.
  const std::optional<std::string> product_candidate = identity.mtm ? std::nullopt : product_name;
  const std::array<std::pair<std::optional<std::string>, std::string_view>, 4> candidates{{
      {meaningful_value(record.system_version), LABEL_VERSION},
      {meaningful_value(record.system_family), LABEL_FAMILY},
      {product_candidate, LABEL_PRODUCT_NAME},
      {meaningful_value(record.baseboard_product), LABEL_BASEBOARD_PRODUCT},
  }};
  for (const auto& [value, label] : candidates) {
    if (value) {
      identity.display_name = value;
      identity.sources.display_name = label;
      break;
    }
  }

  identity.sources.manufacturer = label_if(identity.manufacturer, LABEL_MANUFACTURER);
  identity.sources.mtm = label_if(identity.mtm, LABEL_PRODUCT_NAME);
  identity.sources.bios_vendor = label_if(record.bios_vendor, LABEL_BIOS_VENDOR);
  identity.sources.bios_version = label_if(record.bios_version, LABEL_BIOS_VERSION);
  identity.sources.bios_release_date = label_if(record.bios_release_date, LABEL_BIOS_RELEASE_DATE);
  identity.record = std::move(record);
  return identity;
}

std::expected<MachineIdentity, HalError> detect_identity(const FirmwareTableSource& source) {
  std::expected<SmbiosRecord, HalError> record = [&]() -> std::expected<SmbiosRecord, HalError> {
    const std::expected<ByteBuffer, HalError> table = source.read_raw_smbios();
    if (!table) return std::unexpected(table.error());
    return parse_smbios(*table);
  }();
  if (!record) return std::unexpected(std::move(record.error()));
  return build_identity(std::move(*record));
}

}  // namespace ostrane
