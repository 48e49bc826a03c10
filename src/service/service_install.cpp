#include "src/service/service_install.h"

#include "src/service/service_messages.h"

namespace ostrane {

ServiceCommandResult install_with(ServiceManagerCalls& calls) {
  if (const auto code = calls.open_manager()) return std::unexpected(msg_manager_unreachable(code));
  const auto path = calls.executable_path();
  if (!path) {
    calls.close_manager();
    return std::unexpected(msg_executable_path_unknown(path.error()));
  }

  const auto created = calls.create_service(service_command_line(*path));
  if (created == 0) {
    const auto started = calls.start_service();
    calls.close_service();
    calls.close_manager();
    // Registered but not started is still installed; the line says how to
    // start it by hand.
    return started == 0 ? msg_installed_and_started() : msg_installed_start_refused(started);
  }
  if (created != CODE_SERVICE_EXISTS) {
    calls.close_manager();
    return std::unexpected(msg_create_refused(created));
  }

  // Already registered: the registration is left as it is, even if it
  // names another executable; only a start is tried.
  const auto opened = calls.open_service(ACCESS_SERVICE_START);
  calls.close_manager();
  if (opened != 0) return msg_already_installed_access_denied();
  const auto started = calls.start_service();
  calls.close_service();
  if (started == 0 || started == CODE_SERVICE_ALREADY_RUNNING) return msg_already_installed_running();
  return msg_already_installed_start_refused(started);
}

ServiceCommandResult uninstall_with(ServiceManagerCalls& calls) {
  if (const auto code = calls.open_manager()) return std::unexpected(msg_manager_unreachable(code));
  if (calls.open_service(ACCESS_SERVICE_ALL) != 0) {
    calls.close_manager();
    return msg_not_installed();
  }
  // A running service is not stopped: the manager removes the registration
  // once it stops.
  const auto deleted = calls.delete_service();
  calls.close_service();
  calls.close_manager();
  if (deleted != 0) return std::unexpected(msg_delete_refused(deleted));
  return msg_uninstalled();
}

}  // namespace ostrane
