#include "src/platform/wide_win.h"

#include "src/common/utf8.h"

namespace ostrane {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

// Each allocation costs under Wine: the text is decoded straight into the
// string the system calls take.
std::wstring to_wide(std::string_view utf8) {
  std::wstring out;
  out.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    const Utf8Step step = decode_utf8_at(utf8, pos);
    pos += step.length;
    if (step.value < 0x10000) {
      out.push_back(static_cast<wchar_t>(step.value));
    } else {
      const char32_t v = step.value - 0x10000;
      out.push_back(static_cast<wchar_t>(0xD800 + (v >> 10)));
      out.push_back(static_cast<wchar_t>(0xDC00 + (v & 0x3FF)));
    }
  }
  return out;
}

std::string from_wide(std::wstring_view utf16) {
  return utf16_to_utf8_lossy(std::u16string_view(reinterpret_cast<const char16_t*>(utf16.data()), utf16.size()));
}

}  // namespace ostrane
