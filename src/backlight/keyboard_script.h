#pragma once
// The backlight script, built into the executable byte for byte from
// keyboard.ps1 (ASCII, LF line ends, no byte-order mark).

#include <string_view>

namespace ostrane {

extern const std::string_view KEYBOARD_SCRIPT;

}  // namespace ostrane
