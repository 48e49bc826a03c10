#pragma once
// What the service tests and the round-trip benchmark need: a copy of
// ostrane.exe with the fake powershell.exe beside it, the command line run
// as a child, and a client of the service's pipe.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "testing/test_process_win.h"

namespace ostrane::service_harness {

using testing_support::ProcessOutput;

// A directory (with spaces in its name) holding ostrane.exe and the fake
// powershell.exe, removed with its content when the object goes.
class ServiceCopy {
 public:
  ServiceCopy();
  // In `dir`, made if needed.
  explicit ServiceCopy(std::wstring dir);
  ServiceCopy(const ServiceCopy&) = delete;
  ServiceCopy& operator=(const ServiceCopy&) = delete;
  ~ServiceCopy();

  bool ready() const { return ready_; }
  const std::wstring& dir() const { return dir_; }
  std::wstring exe() const { return dir_ + L"\\ostrane.exe"; }
  std::optional<ProcessOutput> run(std::wstring_view arguments) const;

  // What the fake prints next, and what it recorded last.
  void answer(std::string_view stdout_bytes) const;
  std::optional<std::string> recorded_arguments() const;
  std::optional<std::string> recorded_script() const;
  std::optional<std::string> recorded_script_dacl() const;
  void forget_recordings() const;
  // While held, the fake waits before it answers.
  void hold(bool held) const;

 private:
  std::wstring dir_;
  bool ready_ = false;
};

// The fake that ServiceCopy puts beside ostrane.exe as powershell.exe.
std::wstring fake_powershell_exe();

// Gives Everyone the right to change `path`; Wine makes the file or folder
// writable by all.
bool let_everyone_write(const std::wstring& path);

// The service's status as the manager tells it, nothing when it cannot.
std::optional<SERVICE_STATUS> service_status();
// Its state alone, or 0.
DWORD service_state();
// The registration as the manager reads it back.
struct RegisteredConfig {
  DWORD service_type = 0, start_type = 0, error_control = 0;
  std::wstring command_line, display_name, account;
  friend bool operator==(const RegisteredConfig&, const RegisteredConfig&) = default;
};
std::optional<RegisteredConfig> registered_config();
std::optional<std::wstring> registered_command_line();
// Sends a control code through the manager; 0 or the Windows error code.
DWORD send_control(DWORD control);
// Asks the manager to stop the service and waits for the stopped state.
bool stop_service_and_wait(DWORD timeout_ms);
// Stops and deletes the registration whatever state it is in; for cleanup.
void remove_service();

struct Exchange {
  DWORD open_error = 0;  // 0 when the pipe was opened
  std::string response;  // everything read until the service hung up
};

// Opens the pipe once (no wait), sends `request` in one write, reads to the
// end. An empty request sends nothing and closes at once.
Exchange exchange(std::string_view request);

// Between two clients the service is briefly not listening and the pipe
// refuses with ERROR_PIPE_BUSY, as Windows does: a client that wants its
// answer waits for the pipe and tries again. Counts those refusals.
Exchange exchange_waiting(std::string_view request, int* refusals = nullptr);

// A client's end of the pipe, opened as soon as the service listens;
// INVALID_HANDLE_VALUE when it never does.
HANDLE open_pipe_waiting();

// Tries until the service listens or `timeout_ms` has passed.
bool wait_for_pipe(DWORD timeout_ms);

}  // namespace ostrane::service_harness
