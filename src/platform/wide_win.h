#pragma once
// UTF-16 exists only at the Win32 call.

#include <string>
#include <string_view>

namespace ostrane {

// NUL-terminated UTF-16 for a platform call (c_str() of the result).
std::wstring to_wide(std::string_view utf8);

// An unpaired surrogate becomes U+FFFD.
std::string from_wide(std::wstring_view utf16);

}  // namespace ostrane
