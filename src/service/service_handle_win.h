#pragma once
// Owner of a service-manager handle (manager or service alike).

#include <windows.h>

#include "src/platform/unique_handle_win.h"
#include "src/service/service_api_win.h"

namespace ostrane {

struct ServiceHandleTraits {
  using Handle = SC_HANDLE;
  static Handle invalid() { return nullptr; }
  static bool is_valid(Handle h) { return h != nullptr; }
  // A handle is only ever obtained once the functions have loaded.
  static void close(Handle h) {
    if (const auto& api = service_manager_api()) api->close_handle(h);
  }
};
using UniqueServiceHandle = UniqueHandle<ServiceHandleTraits>;

}  // namespace ostrane
