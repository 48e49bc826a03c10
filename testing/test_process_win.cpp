#include "testing/test_process_win.h"

#include <thread>

#include "testing/test_files_win.h"

namespace ostrane::testing_support {

std::optional<ProcessOutput> run_process(const std::wstring& command_line) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE out_read, out_write, err_read, err_write;
  if (!::CreatePipe(&out_read, &out_write, &inherit, 0)) return std::nullopt;
  if (!::CreatePipe(&err_read, &err_write, &inherit, 0)) return std::nullopt;
  ::SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = out_write;
  startup.hStdError = err_write;
  std::wstring line = command_line;
  PROCESS_INFORMATION process{};
  const BOOL started =
      ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
  ::CloseHandle(out_write);
  ::CloseHandle(err_write);
  std::optional<ProcessOutput> result;
  if (started) {
    ProcessOutput output;
    std::thread err_reader([&] { output.err = read_to_end(err_read); });
    output.out = read_to_end(out_read);
    err_reader.join();
    ::WaitForSingleObject(process.hProcess, INFINITE);
    ::GetExitCodeProcess(process.hProcess, &output.exit_code);
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
    result = std::move(output);
  }
  ::CloseHandle(out_read);
  ::CloseHandle(err_read);
  return result;
}

}  // namespace ostrane::testing_support
