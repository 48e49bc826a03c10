#include "src/identity/vendor.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "src/common/text.h"

namespace ostrane {
namespace {

constexpr std::string_view LENOVO = "lenovo";
constexpr std::string_view THINKPAD = "thinkpad";

// Searched as substrings of the lower-cased manufacturer; Lenovo is not one
// of them on purpose: a Lenovo that is no ThinkPad is not supported.
constexpr std::array<std::string_view, 19> KNOWN_VENDORS = {
    "framework", "asus",       "asustek", "hp",        "hewlett-packard", "dell",     "acer",
    "msi",       "micro-star", "razer",   "samsung",   "lg electronics",  "gigabyte", "huawei",
    "microsoft", "toshiba",    "fujitsu", "panasonic", "alienware",
};

}  // namespace

bool is_lenovo_thinkpad(const MachineIdentity& identity) {
  if (!identity.manufacturer || identity.manufacturer->size() != LENOVO.size()) return false;
  if (ascii_lower(*identity.manufacturer) != LENOVO) return false;
  if (!identity.display_name) return false;
  return ascii_lower(*identity.display_name).find(THINKPAD) != std::string::npos;
}

bool is_known_other_vendor(const MachineIdentity& identity) {
  if (!identity.manufacturer) return false;
  const std::string folded = ascii_lower(*identity.manufacturer);
  return std::ranges::any_of(KNOWN_VENDORS,
                             [&](std::string_view vendor) { return folded.find(vendor) != std::string::npos; });
}

}  // namespace ostrane
