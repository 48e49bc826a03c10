// `ostrane --service`: the service entry, its control handler and the pipe
// server, one client at a time.
#include <windows.h>

#include <array>
#include <atomic>
#include <expected>
#include <vector>

#include "src/backlight/keyboard_backlight.h"
#include "src/cli/actions.h"
#include "src/platform/console_win.h"
#include "src/platform/unique_handle_win.h"
#include "src/platform/wide_win.h"
#include "src/service/pipe_protocol.h"
#include "src/service/service_api_win.h"
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
// thread; nothing else is, so no lock is needed.
std::atomic<bool> STOP_REQUESTED{false};
std::atomic<HANDLE> STOP_EVENT{nullptr};

// Written by service_main before any status is reported, and used on the
// service thread only.
SERVICE_STATUS_HANDLE status_handle = nullptr;

// NOLINTEND(cppcoreguidelines-avoid-non-const-global-variables,readability-identifier-naming)

void report_status(const ServiceManagerApi& api, DWORD state, DWORD controls_accepted, DWORD exit_code = NO_ERROR) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = controls_accepted;
  status.dwWin32ExitCode = exit_code;
  api.set_status(status_handle, &status);
}

// Full access for SYSTEM and the Administrators group, nothing for anyone
// else: the default security of a pipe made by LocalSystem lets every user
// open it for reading, which serves nobody but one who would hold the only
// instance. Protected, so that nothing is inherited.
constexpr const wchar_t* PIPE_SECURITY = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)";

// Byte mode, one instance, local clients only. The first instance or none:
// a pipe of that name made by another process first would have the service
// join it, and its own backlight calls, as a client, reach that process.
std::expected<UniqueKernelHandle, DWORD> create_pipe(const ServiceManagerApi& api) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!api.security_descriptor_from_text(PIPE_SECURITY, SDDL_REVISION_1, &descriptor, nullptr)) {
    return std::unexpected(::GetLastError());
  }
  const UniqueLocalMemory owned_descriptor(descriptor);
  SECURITY_ATTRIBUTES security{sizeof(security), descriptor, FALSE};
  UniqueKernelHandle pipe(::CreateNamedPipeW(
      to_wide(PIPE_NAME).c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
      static_cast<DWORD>(PIPE_BUFFER_SIZE), static_cast<DWORD>(PIPE_BUFFER_SIZE), 0, &security));
  if (!pipe) return std::unexpected(::GetLastError());
  // Wine makes a new instance of an existing pipe whatever the flag says;
  // a pipe that allows more than one instance was made by someone else.
  // Windows fails the creation itself with this error.
  DWORD max_instances = 0;
  if (!::GetNamedPipeInfo(pipe.get(), nullptr, nullptr, nullptr, &max_instances)) {
    return std::unexpected(::GetLastError());
  }
  if (max_instances != 1) return std::unexpected(static_cast<DWORD>(ERROR_ACCESS_DENIED));
  return pipe;
}

// Only a stop stops, and the handler only asks: the loop stops. The default
// security of a service lets any interactive user send it the user-defined
// controls (128 to 255), which must not end this privileged service. An
// interrogate is a status query whose answer, the last status reported, the
// manager already holds.
DWORD WINAPI service_control_handler(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_INTERROGATE) return NO_ERROR;
  if (control != SERVICE_CONTROL_STOP) return ERROR_CALL_NOT_IMPLEMENTED;
  STOP_REQUESTED.exchange(true);
  if (const HANDLE event = STOP_EVENT.load()) ::SetEvent(event);
  return NO_ERROR;
}

// Completes an overlapped read or write and tells whether it succeeded.
// The wait is only for an operation that is really pending: one that failed
// at once (a client that hung up before sending, say) leaves its OVERLAPPED
// marked pending for good, and waiting on it would hold the service forever.
bool finish_io(HANDLE pipe, OVERLAPPED* io, BOOL started, DWORD& count) {
  if (!started && ::GetLastError() != ERROR_IO_PENDING) return false;
  return ::GetOverlappedResult(pipe, io, &count, TRUE) != 0;
}

// One client: wait for it, read its one request, answer, let it go.
// Returns false when the loop must end.
bool serve_next_client(HANDLE pipe, HANDLE io_event, HANDLE stop_event, const BacklightOperations& operations) {
  ::ResetEvent(io_event);
  OVERLAPPED connect{};
  connect.hEvent = io_event;
  const BOOL connected = ::ConnectNamedPipe(pipe, &connect);
  const DWORD connect_error = ::GetLastError();
  if (connected) {
    if (connect_error != ERROR_PIPE_CONNECTED) return false;
  } else if (connect_error == ERROR_IO_PENDING) {
    const std::array<HANDLE, 2> waits = {io_event, stop_event};
    if (::WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(), FALSE, INFINITE) != WAIT_OBJECT_0) {
      // The connect still points at `connect`, which dies with this frame:
      // it must be over before the frame is.
      DWORD ignored = 0;
      if (::CancelIoEx(pipe, &connect) || ::GetLastError() == ERROR_NOT_FOUND) {
        ::GetOverlappedResult(pipe, &connect, &ignored, TRUE);
      }
      return false;
    }
  }
  // Any other failure of the connect (a client already there included)
  // goes on to the read, which tells.

  std::vector<char> request(PIPE_BUFFER_SIZE);
  OVERLAPPED read{};
  DWORD count = 0;
  if (finish_io(pipe, &read, ::ReadFile(pipe, request.data(), static_cast<DWORD>(request.size()), nullptr, &read),
                count)) {
    std::string response =
        handle_request(std::string_view(request.data(), std::min<std::size_t>(count, request.size())), operations);
    response += '\n';
    OVERLAPPED write{};
    DWORD sent = 0;
    // Flushing waits until the client has read the whole answer, so that
    // the disconnect below cannot cut it.
    if (finish_io(pipe, &write,
                  ::WriteFile(pipe, response.data(), static_cast<DWORD>(response.size()), nullptr, &write), sent)) {
      ::FlushFileBuffers(pipe);
    } else {
      ::CancelIoEx(pipe, nullptr);
    }
  }
  ::DisconnectNamedPipe(pipe);
  return true;
}

void server_loop(HANDLE pipe, HANDLE io_event, HANDLE stop_event) {
  const BacklightOperations operations{keyboard_read, keyboard_write};
  while (!STOP_REQUESTED.load()) {
    if (!serve_next_client(pipe, io_event, stop_event, operations)) return;
  }
}

void WINAPI service_main(DWORD, wchar_t**) {
  // The dispatcher that calls this runs only once the functions have loaded.
  const ServiceManagerApi& api = *service_manager_api();
  status_handle = api.register_handler(to_wide(SERVICE_NAME).c_str(), service_control_handler, nullptr);
  if (status_handle == nullptr) return;
  // Running at once: a client that comes before the pipe exists simply
  // finds no service and runs the script itself.
  report_status(api, SERVICE_START_PENDING, SERVICE_ACCEPT_STOP);
  report_status(api, SERVICE_RUNNING, SERVICE_ACCEPT_STOP);

  // A service that cannot serve says why in its stopped status, where the
  // manager shows it (sc query); a normal stop reports 0.
  DWORD exit_code = NO_ERROR;
  UniqueKernelHandle stop_event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!stop_event) exit_code = ::GetLastError();
  UniqueKernelHandle io_event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!io_event && exit_code == NO_ERROR) exit_code = ::GetLastError();
  if (stop_event && io_event) {
    STOP_EVENT.exchange(stop_event.get());
    std::expected<UniqueKernelHandle, DWORD> pipe = create_pipe(api);
    if (pipe) {
      server_loop(pipe->get(), io_event.get(), stop_event.get());
    } else {
      exit_code = pipe.error();
    }
    // The handler must never see an event that is about to be closed.
    STOP_EVENT.exchange(nullptr);
  }
  stop_event.reset();
  io_event.reset();
  report_status(api, SERVICE_STOPPED, 0, exit_code);
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
