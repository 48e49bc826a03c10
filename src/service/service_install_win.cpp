#include <windows.h>

#include <algorithm>
#include <vector>

#include "src/common/os_error.h"
#include "src/platform/console_win.h"
#include "src/platform/executable_path_win.h"
#include "src/platform/wide_win.h"
#include "src/service/install_location_win.h"
#include "src/service/service_api_win.h"
#include "src/service/service_commands_win.h"
#include "src/service/service_constants.h"
#include "src/service/service_handle_win.h"
#include "src/service/service_install.h"
#include "src/service/service_messages.h"

namespace ostrane {
namespace {

std::uint32_t result_code(bool ok) { return ok ? 0 : ::GetLastError(); }

class WindowsServiceManager final : public ServiceManagerCalls {
 public:
  explicit WindowsServiceManager(const ServiceManagerApi& api) : api_(api) {}

  std::uint32_t open_manager() override {
    manager_.reset(api_.open_manager(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    return result_code(manager_.valid());
  }

  std::expected<std::string, std::string> executable_path() override { return ostrane::executable_path(); }

  std::expected<std::string, std::string> check_location(std::string_view path) override {
    auto checked = check_install_location(api_, path);
    if (!checked) return std::unexpected(msg_install_refused(checked.error().refusal, checked.error().account_name));
    return std::move(*checked);
  }

  std::expected<std::string, std::uint32_t> registered_command_line() override {
    DWORD size = 0;
    api_.query_config(service_.get(), nullptr, 0, &size);
    if (const DWORD error = ::GetLastError(); error != ERROR_INSUFFICIENT_BUFFER) return std::unexpected(error);
    // QUERY_SERVICE_CONFIGW holds pointers into the same buffer.
    std::vector<QUERY_SERVICE_CONFIGW> buffer(size / sizeof(QUERY_SERVICE_CONFIGW) + 1);
    if (!api_.query_config(service_.get(), buffer.data(), static_cast<DWORD>(buffer.size() * sizeof(buffer[0])),
                           &size)) {
      return std::unexpected(::GetLastError());
    }
    const wchar_t* line = buffer[0].lpBinaryPathName;
    return line == nullptr ? std::string() : from_wide(line);
  }

  StartWait wait_for_start() override;

  std::uint32_t create_service(std::string_view command_line) override {
    service_.reset(api_.create_service(manager_.get(), to_wide(SERVICE_NAME).c_str(),
                                       to_wide(SERVICE_DISPLAY_NAME).c_str(), SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                       to_wide(command_line).c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    return result_code(service_.valid());
  }

  std::uint32_t open_service(std::uint32_t access) override {
    service_.reset(api_.open_service(manager_.get(), to_wide(SERVICE_NAME).c_str(), access));
    return result_code(service_.valid());
  }

  std::uint32_t start_service() override { return result_code(api_.start_service(service_.get(), 0, nullptr)); }
  std::uint32_t delete_service() override { return result_code(api_.delete_service(service_.get())); }
  void close_service() override { service_.reset(); }
  void close_manager() override { manager_.reset(); }

 private:
  const ServiceManagerApi& api_;
  UniqueServiceHandle manager_;
  UniqueServiceHandle service_;
};

// Until the service's first status, the manager's own start-pending one
// may carry no wait hint; the service's is well under this.
constexpr DWORD MIN_START_WAIT_MS = 10000;

StartWait WindowsServiceManager::wait_for_start() {
  const UniqueServiceHandle manager(api_.open_manager(nullptr, nullptr, SC_MANAGER_CONNECT));
  const UniqueServiceHandle service(
      manager ? api_.open_service(manager.get(), to_wide(SERVICE_NAME).c_str(), SERVICE_QUERY_STATUS) : nullptr);
  const DWORD begin = ::GetTickCount();
  DWORD progress_at = begin;
  DWORD checkpoint = 0;
  SERVICE_STATUS status{};
  // A service whose state cannot be read was started all the same: as
  // before the waiting, that counts as started.
  while (service && api_.query_status(service.get(), &status)) {
    if (status.dwCurrentState == SERVICE_RUNNING) break;
    if (status.dwCurrentState == SERVICE_STOPPED) return {StartWait::State::Stopped, status.dwWin32ExitCode, 0};
    const DWORD now = ::GetTickCount();
    // A service that moves its check point on is making progress.
    if (status.dwCheckPoint != checkpoint) {
      checkpoint = status.dwCheckPoint;
      progress_at = now;
    }
    if (now - progress_at > std::max<DWORD>(status.dwWaitHint, MIN_START_WAIT_MS)) {
      return {StartWait::State::StillStarting, 0, (now - begin) / 1000};
    }
    ::Sleep(std::clamp<DWORD>(status.dwWaitHint / 10, 50, 1000));
  }
  return {StartWait::State::Running, 0, 0};
}

ActionResult print_outcome(const ServiceCommandResult& outcome) {
  if (!outcome) return std::unexpected(ActionError{outcome.error()});
  write_std(StdStream::Out, *outcome);
  return {};
}

// The command over the real manager, once its functions have loaded.
ActionResult run_command(ServiceCommandResult (*command)(ServiceManagerCalls&)) {
  const auto& api = service_manager_api();
  if (!api) return std::unexpected(ActionError{msg_service_functions_unavailable(api.error())});
  WindowsServiceManager manager(*api);
  return print_outcome(command(manager));
}

}  // namespace

ActionResult install_service() { return run_command(install_with); }

ActionResult uninstall_service() { return run_command(uninstall_with); }

}  // namespace ostrane
