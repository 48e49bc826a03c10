#include "src/service/service_api_win.h"

#include <optional>
#include <utility>

namespace ostrane {
namespace {

// Fills `slot`, unless an earlier name is already missing: only the first
// missing one is reported.
template <typename Function>
void bind(const SystemLibrary& library, const char* name, Function*& slot, std::optional<std::string>& missing) {
  if (missing) return;
  std::expected<Function*, std::string> found = library.function<Function>(name);
  if (found) {
    slot = *found;
  } else {
    missing = std::move(found.error());
  }
}

std::expected<ServiceManagerApi, std::string> load() {
  std::expected<SystemLibrary, std::string> library = SystemLibrary::load(L"advapi32.dll");
  if (!library) return std::unexpected(std::move(library.error()));
  ServiceManagerApi api{std::move(*library)};
  std::optional<std::string> missing;
  bind(api.library, "OpenSCManagerW", api.open_manager, missing);
  bind(api.library, "CreateServiceW", api.create_service, missing);
  bind(api.library, "OpenServiceW", api.open_service, missing);
  bind(api.library, "StartServiceW", api.start_service, missing);
  bind(api.library, "DeleteService", api.delete_service, missing);
  bind(api.library, "CloseServiceHandle", api.close_handle, missing);
  bind(api.library, "StartServiceCtrlDispatcherW", api.start_dispatcher, missing);
  bind(api.library, "RegisterServiceCtrlHandlerExW", api.register_handler, missing);
  bind(api.library, "SetServiceStatus", api.set_status, missing);
  bind(api.library, "QueryServiceStatus", api.query_status, missing);
  bind(api.library, "QueryServiceConfigW", api.query_config, missing);
  bind(api.library, "GetNamedSecurityInfoW", api.get_named_security_info, missing);
  bind(api.library, "GetAce", api.get_ace, missing);
  bind(api.library, "OpenProcessToken", api.open_process_token, missing);
  bind(api.library, "GetTokenInformation", api.get_token_information, missing);
  bind(api.library, "ConvertSidToStringSidW", api.sid_to_text, missing);
  bind(api.library, "ConvertStringSidToSidW", api.sid_from_text, missing);
  bind(api.library, "LookupAccountSidW", api.lookup_account_sid, missing);
  if (missing) return std::unexpected(std::move(*missing));
  return api;
}

}  // namespace

const std::expected<ServiceManagerApi, std::string>& service_manager_api() {
  static const std::expected<ServiceManagerApi, std::string> LOADED = load();
  return LOADED;
}

}  // namespace ostrane
