#pragma once
// The names Windows takes for a device wherever they stand: "CON.toml" in
// any folder opens the console, "aux.toml" the serial port.

#include <string_view>

namespace ostrane {

// CON, PRN, AUX, NUL, COM0-9, LPT0-9 (and COM or LPT with a superscript
// 1, 2 or 3), CONIN$ and CONOUT$, in any ASCII case, alone or before a dot,
// trailing spaces ignored.
bool is_device_name(std::string_view file_name);

}  // namespace ostrane
