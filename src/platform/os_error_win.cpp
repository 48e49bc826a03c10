#include <windows.h>

#include "src/common/os_error.h"
#include "src/platform/unique_handle_win.h"
#include "src/platform/wide_win.h"

namespace ostrane {

std::string os_error_text(std::uint32_t code) {
  wchar_t* buffer = nullptr;
  const DWORD length =
      ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  const UniqueLocalMemory owner(buffer);
  if (length == 0) return format_os_error("erreur système inconnue", code);
  return format_os_error(from_wide(std::wstring_view(buffer, length)), code);
}

}  // namespace ostrane
