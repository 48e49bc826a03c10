#include "src/service/service_install.h"

#include "src/common/text.h"
#include "src/service/service_messages.h"

namespace ostrane {
namespace {

// A start the manager accepted is not yet a service that serves: one that
// stops at once (its pipe's name taken, say) is a failure, with its code.
ServiceCommandResult when_serving(ServiceManagerCalls& calls, std::string success) {
  const StartWait wait = calls.wait_for_start();
  switch (wait.state) {
    case StartWait::State::Running: return success;
    case StartWait::State::Stopped: return std::unexpected(msg_stopped_at_start(wait.exit_code));
    case StartWait::State::StillStarting: return std::unexpected(msg_still_starting(wait.waited_seconds));
  }
  return success;
}

}  // namespace

ServiceCommandResult install_with(ServiceManagerCalls& calls) {
  if (const auto code = calls.open_manager()) return std::unexpected(msg_manager_unreachable(code));
  const auto path = calls.executable_path();
  if (!path) {
    calls.close_manager();
    return std::unexpected(msg_executable_path_unknown(path.error()));
  }
  const auto checked = calls.check_location(*path);
  if (!checked) {
    calls.close_manager();
    return std::unexpected(checked.error());
  }

  const std::string command_line = service_command_line(*checked);
  const auto created = calls.create_service(command_line);
  if (created == 0) {
    const auto started = calls.start_service();
    calls.close_service();
    calls.close_manager();
    // Registered but not started is still installed; the line says how to
    // start it by hand.
    if (started != 0) return msg_installed_start_refused(started);
    return when_serving(calls, msg_installed_and_started());
  }
  if (created != CODE_SERVICE_EXISTS) {
    calls.close_manager();
    return std::unexpected(msg_create_refused(created));
  }

  // Already registered: the registration is left as it is and started,
  // once it runs what was just checked (compared regardless of case, as
  // Windows compares paths). Another executable is one nobody checked, and
  // starting it would run it as SYSTEM.
  const auto opened = calls.open_service(ACCESS_SERVICE_START | ACCESS_SERVICE_QUERY_CONFIG);
  calls.close_manager();
  if (opened != 0) return msg_already_installed_access_denied();
  const auto registered = calls.registered_command_line();
  if (!registered || ascii_lower(*registered) != ascii_lower(command_line)) {
    calls.close_service();
    if (!registered) return std::unexpected(msg_registration_unreadable(registered.error()));
    return std::unexpected(msg_registered_elsewhere(*registered, command_line));
  }
  const auto started = calls.start_service();
  calls.close_service();
  if (started == CODE_SERVICE_ALREADY_RUNNING) return msg_already_installed_running();
  if (started != 0) return msg_already_installed_start_refused(started);
  return when_serving(calls, msg_already_installed_running());
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
