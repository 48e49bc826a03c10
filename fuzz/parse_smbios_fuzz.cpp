// Any byte string is a possible firmware table: the walk must never crash,
// and whatever it accepts must obey the record's invariants.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "hal/smbios/parse_smbios.h"
#include "src/common/text.h"
#include "src/common/utf8.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

void check_field(const std::optional<std::string>& field) {
  if (!field) return;
  require(!field->empty());
  require(ostrane::is_valid_utf8(*field));
  require(ostrane::trim_white_space(*field).size() == field->size());
}

constexpr std::string_view BAD_STRUCTURE = "structure SMBIOS invalide à l'offset ";
constexpr std::string_view UNTERMINATED = "section de chaînes SMBIOS non terminée";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> table(data, size);
  const auto result = ostrane::parse_smbios(table);
  if (!result) {
    const ostrane::HalError& e = result.error();
    require(e.kind == ostrane::HalErrorKind::InvalidData);
    if (e.message.starts_with(BAD_STRUCTURE)) {
      // The offset names a structure header that lies wholly in the table.
      const std::string digits = e.message.substr(BAD_STRUCTURE.size());
      require(!digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos);
      const unsigned long long offset = std::stoull(digits);
      require(offset + 4 <= size);
      const std::size_t len = data[offset + 1];
      require(len < 4 || offset + len > size);
    } else {
      require(e.message == UNTERMINATED);
    }
    require(size >= 4);
    return 0;
  }
  const ostrane::SmbiosRecord& r = *result;
  for (const auto* field :
       {&r.bios_vendor, &r.bios_version, &r.bios_release_date, &r.system_manufacturer, &r.system_product_name,
        &r.system_version, &r.system_family, &r.system_serial_number, &r.baseboard_product}) {
    check_field(*field);
  }
  // Nothing of the walk depends on anything but the bytes.
  require(ostrane::parse_smbios(table) == result);
  return 0;
}
