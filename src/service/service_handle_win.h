#pragma once
// Owner of a service-manager handle (manager or service alike).

#include <windows.h>

#include "src/platform/unique_handle_win.h"

namespace ostrane {

struct ServiceHandleTraits {
  using Handle = SC_HANDLE;
  static Handle invalid() { return nullptr; }
  static bool is_valid(Handle h) { return h != nullptr; }
  static void close(Handle h) { ::CloseServiceHandle(h); }
};
using UniqueServiceHandle = UniqueHandle<ServiceHandleTraits>;

}  // namespace ostrane
