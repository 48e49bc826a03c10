#include "src/platform/wide_win.h"

#include "src/common/utf8.h"

namespace ostrane {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

// Each allocation costs under Wine: straight into the string the system
// calls take.
std::wstring to_wide(std::string_view utf8) { return utf8_to_utf16_as<std::wstring>(utf8); }

std::string from_wide(std::wstring_view utf16) {
  return utf16_to_utf8_lossy(std::u16string_view(reinterpret_cast<const char16_t*>(utf16.data()), utf16.size()));
}

}  // namespace ostrane
