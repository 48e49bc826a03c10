#pragma once
// The operating-system error text shown throughout the program:
// "{description} (os error {code})".

#include <cstdint>
#include <string>
#include <string_view>

namespace ostrane {

// The description as the system gave it; its trailing CR LF is dropped.
std::string format_os_error(std::string_view description, std::uint32_t code);

// The system's own description of `code` (FormatMessageW on Windows).
// Defined by the Windows layer only.
std::string os_error_text(std::uint32_t code);

}  // namespace ostrane
