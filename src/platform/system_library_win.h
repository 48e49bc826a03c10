#pragma once
// A DLL of the system directory, loaded when a command needs it rather than
// imported: an imported DLL is loaded, with everything it imports, at every
// start of the program, whatever the command.

#include <windows.h>

#include <bit>
#include <expected>
#include <string>
#include <utility>

#include "src/platform/unique_handle_win.h"

namespace ostrane {

class SystemLibrary {
 public:
  // `name` is looked for in the system directory only, never beside the
  // executable or on the PATH, where a DLL of the same name could stand in
  // for it. The error is "{name} : {system text}".
  static std::expected<SystemLibrary, std::string> load(const wchar_t* name);

  // The exported function `name`, as the type its header declares
  // (`function<decltype(::CloseServiceHandle)>("CloseServiceHandle")`).
  // The error is "{name} ({library}) : {system text}".
  template <typename Function>
  std::expected<Function*, std::string> function(const char* name) const {
    const FARPROC address = ::GetProcAddress(module_.get(), name);
    if (address == nullptr) return std::unexpected(function_error(name, ::GetLastError()));
    return std::bit_cast<Function*>(address);
  }

 private:
  SystemLibrary(UniqueModule module, std::string name) : module_(std::move(module)), name_(std::move(name)) {}
  std::string function_error(const char* function, DWORD code) const;

  UniqueModule module_;
  std::string name_;
};

}  // namespace ostrane
