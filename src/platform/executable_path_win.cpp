#include "src/platform/executable_path_win.h"

#include <windows.h>

#include "src/common/os_error.h"
#include "src/platform/wide_win.h"

namespace ostrane {

std::expected<std::string, std::string> executable_path() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::unexpected(os_error_text(::GetLastError()));
    // A path that filled the buffer may have been cut: try a larger one.
    if (length < buffer.size()) return from_wide(std::wstring_view(buffer.data(), length));
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace ostrane
