#include "src/platform/console_win.h"

#include <windows.h>

#include <algorithm>

#include "src/platform/wide_win.h"

namespace ostrane {
namespace {

bool write_console(HANDLE handle, std::string_view utf8) {
  const std::wstring wide = to_wide(utf8);
  std::size_t done = 0;
  while (done < wide.size()) {
    std::size_t chunk = std::min<std::size_t>(wide.size() - done, 16384);
    // A chunk must not end between the two halves of a surrogate pair.
    if (done + chunk < wide.size() && wide[done + chunk - 1] >= 0xD800 && wide[done + chunk - 1] <= 0xDBFF) --chunk;
    DWORD written = 0;
    if (!::WriteConsoleW(handle, wide.data() + done, static_cast<DWORD>(chunk), &written, nullptr) || written == 0)
      return false;
    done += written;
  }
  return true;
}

bool write_bytes(HANDLE handle, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1U << 20));
    DWORD written = 0;
    if (!::WriteFile(handle, bytes.data() + done, chunk, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

}  // namespace

bool write_std(StdStream stream, std::string_view utf8) {
  // The process does not own its standard handles: they are never closed.
  const HANDLE handle = ::GetStdHandle(stream == StdStream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  DWORD mode = 0;
  if (::GetConsoleMode(handle, &mode)) return write_console(handle, utf8);
  return write_bytes(handle, utf8);
}

}  // namespace ostrane
