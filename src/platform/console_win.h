#pragma once
// The two standard streams. A console gets UTF-16 through WriteConsoleW so
// that accents show; a file or a pipe gets the UTF-8 bytes unchanged.

#include <string_view>

namespace ostrane {

enum class StdStream { Out, Err };

// True when every byte was written.
bool write_std(StdStream stream, std::string_view utf8);

}  // namespace ostrane
