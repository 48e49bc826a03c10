// `ostrane --service`: the service entry, its control handler and the
// statuses the manager is told.
#include <windows.h>

#include <array>
#include <atomic>
#include <expected>
#include <mutex>
#include <optional>

#include "src/backlight/keyboard_backlight.h"
#include "src/platform/console_win.h"
#include "src/platform/executable_path_win.h"
#include "src/platform/unique_handle_win.h"
#include "src/platform/wide_win.h"
#include "src/service/install_location_win.h"
#include "src/service/pipe_server_win.h"
#include "src/service/service_api_win.h"
#include "src/service/service_commands_win.h"
#include "src/service/service_constants.h"
#include "src/service/service_messages.h"

namespace ostrane {
namespace {

// NOLINTBEGIN(cppcoreguidelines-avoid-non-const-global-variables,readability-identifier-naming): the
// service manager gives service_main no context, and the control handler
// may still be called when service_main's frame is gone; the state they
// share has to outlive both. The two atomics keep the names the service's
// design gives them.

// Shared by the dispatcher thread (the control handler) and the service
// thread; nothing else is.
std::atomic<bool> STOP_REQUESTED{false};
std::atomic<HANDLE> STOP_EVENT{nullptr};

// Written by service_main before any status is reported.
SERVICE_STATUS_HANDLE status_handle = nullptr;

// Both threads report statuses: the handler that a stop is pending, the
// service thread the rest. The lock keeps them in order, so that no
// pending stop is ever reported after the stopped status, nor running
// after a pending stop.
std::mutex status_lock;
DWORD reported_state = 0;

// Held by the handler while it signals the stop event, and by the service
// thread while it empties the slot, before it closes the event: no closed
// handle is ever signalled, whose value may by then name another object.
std::mutex stop_event_lock;

// NOLINTEND(cppcoreguidelines-avoid-non-const-global-variables,readability-identifier-naming)

// How long the manager is told to wait: for the pipe to exist, and for the
// request being handled to be answered (the PowerShell it runs has no
// time-out of its own).
constexpr DWORD START_WAIT_HINT_MS = 10000;
constexpr DWORD STOP_WAIT_HINT_MS = 30000;

void report_status(const ServiceManagerApi& api, DWORD state, DWORD exit_code = NO_ERROR) {
  const std::lock_guard lock(status_lock);
  if (reported_state == SERVICE_STOPPED) return;
  if (state == SERVICE_RUNNING && reported_state == SERVICE_STOP_PENDING) return;
  if (state == SERVICE_STOP_PENDING && reported_state != SERVICE_RUNNING && reported_state != SERVICE_START_PENDING) {
    return;
  }
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING || state == SERVICE_START_PENDING ? SERVICE_ACCEPT_STOP : 0;
  status.dwWin32ExitCode = exit_code;
  if (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING) {
    status.dwCheckPoint = 1;
    status.dwWaitHint = state == SERVICE_START_PENDING ? START_WAIT_HINT_MS : STOP_WAIT_HINT_MS;
  }
  api.set_status(status_handle, &status);
  reported_state = state;
}

// Only a stop stops. The default security of a service lets any
// interactive user send it the user-defined controls (128 to 255), which
// must not end this privileged service. An interrogate is a status query
// whose answer, the last status reported, the manager already holds.
DWORD WINAPI service_control_handler(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_INTERROGATE) return NO_ERROR;
  if (control != SERVICE_CONTROL_STOP) return ERROR_CALL_NOT_IMPLEMENTED;
  // The handler only asks; the service thread ends the request it is on,
  // if any, and reports stopped.
  report_status(*service_manager_api(), SERVICE_STOP_PENDING);
  STOP_REQUESTED.exchange(true);
  const std::lock_guard lock(stop_event_lock);
  if (const HANDLE event = STOP_EVENT.load()) ::SetEvent(event);
  return NO_ERROR;
}

// What the service runs from its folder (a powershell.exe beside it, the
// Framework tools) may have been added since the install: each request
// that would run something holds it to the install's rule first.
std::optional<HalError> refusal_to_run() {
  const auto exe = executable_path();
  if (!exe) return HalError::access_denied(msg_executable_path_unknown(exe.error()));
  const auto checked = check_install_location(*service_manager_api(), *exe);
  if (!checked) return HalError::access_denied(msg_run_refused(checked.error().refusal, checked.error().account_name));
  return std::nullopt;
}

std::expected<KeyboardState, HalError> checked_read() {
  if (auto refused = refusal_to_run()) return std::unexpected(std::move(*refused));
  return keyboard_read();
}

std::expected<KeyboardState, HalError> checked_write(unsigned level) {
  if (auto refused = refusal_to_run()) return std::unexpected(std::move(*refused));
  return keyboard_write(level);
}

// Why the service could not serve, or NO_ERROR once it has served.
DWORD serve() {
  std::array<UniqueKernelHandle, 3> events;
  for (auto& event : events) event.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  for (const auto& event : events) {
    if (!event) return ::GetLastError();
  }
  STOP_EVENT.exchange(events[0].get());
  // A stop asked before the event was published still ends the wait.
  if (STOP_REQUESTED.load()) ::SetEvent(events[0].get());
  DWORD exit_code = NO_ERROR;
  if (std::expected<UniqueKernelHandle, DWORD> pipe = create_service_pipe()) {
    // Running once a client can find the pipe and be served: `service
    // install` waits for this, and tells a service that stopped instead.
    exit_code =
        serve_clients(pipe->get(), {events[0].get(), events[1].get(), events[2].get()}, STOP_REQUESTED,
                      {checked_read, checked_write}, [] { report_status(*service_manager_api(), SERVICE_RUNNING); });
  } else {
    exit_code = pipe.error();
  }
  // The handler must never see an event that is about to be closed.
  const std::lock_guard lock(stop_event_lock);
  STOP_EVENT.exchange(nullptr);
  return exit_code;
}

void WINAPI service_main(DWORD, wchar_t**) {
  // The dispatcher that calls this runs only once the functions have loaded.
  const ServiceManagerApi& api = *service_manager_api();
  status_handle = api.register_handler(to_wide(SERVICE_NAME).c_str(), service_control_handler, nullptr);
  if (status_handle == nullptr) return;
  report_status(api, SERVICE_START_PENDING);
  // A service that cannot serve says why in its stopped status, where the
  // manager shows it (sc query) and `service install` reads it; a normal
  // stop reports 0.
  const DWORD exit_code = serve();
  report_status(api, SERVICE_STOPPED, exit_code);
}

}  // namespace

int run_service_dispatcher() {
  const auto& api = service_manager_api();
  if (!api) {
    write_std(StdStream::Err, dispatcher_functions_unavailable_text(api.error()));
    return 1;
  }
  std::wstring name = to_wide(SERVICE_NAME);
  const std::array<SERVICE_TABLE_ENTRYW, 2> table = {{{name.data(), service_main}, {nullptr, nullptr}}};
  if (api->start_dispatcher(table.data())) return 0;
  const DWORD code = ::GetLastError();
  write_std(StdStream::Err, dispatcher_refused_text(code));
  return 1;
}

}  // namespace ostrane
