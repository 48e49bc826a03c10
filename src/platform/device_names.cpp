#include "src/platform/device_names.h"

#include <algorithm>
#include <array>
#include <string>

#include "src/common/text.h"

namespace ostrane {

bool is_device_name(std::string_view file_name) {
  std::string_view stem = file_name.substr(0, file_name.find('.'));
  while (stem.ends_with(' ')) stem.remove_suffix(1);
  // No device has a longer name ("CONOUT$"); most files do.
  if (stem.size() > 7) return false;
  const std::string name = ascii_upper(stem);
  constexpr std::array<std::string_view, 6> ALONE = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  if (std::ranges::find(ALONE, name) != ALONE.end()) return true;
  if (!name.starts_with("COM") && !name.starts_with("LPT")) return false;
  const std::string_view number = std::string_view(name).substr(3);
  constexpr std::array<std::string_view, 3> SUPERSCRIPTS = {"\xC2\xB9", "\xC2\xB2", "\xC2\xB3"};
  return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') ||
         std::ranges::find(SUPERSCRIPTS, number) != SUPERSCRIPTS.end();
}

}  // namespace ostrane
