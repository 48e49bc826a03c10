#include "src/platform/system_library_win.h"

#include "src/common/os_error.h"
#include "src/platform/wide_win.h"

namespace ostrane {

std::expected<SystemLibrary, std::string> SystemLibrary::load(const wchar_t* name) {
  UniqueModule module(::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
  if (!module) {
    const DWORD code = ::GetLastError();
    return std::unexpected(from_wide(name) + " : " + os_error_text(code));
  }
  return SystemLibrary(std::move(module), from_wide(name));
}

std::string SystemLibrary::function_error(const char* function, DWORD code) const {
  std::string text(function);
  text += " (";
  text += name_;
  text += ") : ";
  text += os_error_text(code);
  return text;
}

}  // namespace ostrane
