#include <windows.h>

#include <array>
#include <optional>

#include "src/backlight/keyboard_script.h"
#include "src/backlight/script_runner.h"
#include "src/common/os_error.h"
#include "src/common/utf8.h"
#include "src/platform/executable_path_win.h"
#include "src/platform/security_descriptor_win.h"
#include "src/platform/unique_handle_win.h"
#include "src/platform/wide_win.h"

namespace ostrane {
namespace {

std::string last_error_text() { return os_error_text(::GetLastError()); }

HalError unavailable(std::string_view prefix, std::string_view error) {
  std::string message(prefix);
  message += error;
  return HalError::unavailable(std::move(message));
}

// GetTempPath2W gives the system account a directory of its own; it is
// missing before Windows 11 and recent Windows 10 updates.
std::wstring temp_directory() {
  using GetTempPath2Fn = DWORD(WINAPI*)(DWORD, LPWSTR);
  const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  const auto get_temp_path_2 =
      kernel32 ? reinterpret_cast<GetTempPath2Fn>(reinterpret_cast<void*>(::GetProcAddress(kernel32, "GetTempPath2W")))
               : nullptr;
  // Both give at most MAX_PATH + 1 characters and the NUL: this buffer is
  // never too short, so an empty result always comes with its error code.
  std::array<wchar_t, MAX_PATH + 2> buffer{};
  const DWORD length = get_temp_path_2 ? get_temp_path_2(static_cast<DWORD>(buffer.size()), buffer.data())
                                       : ::GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
  if (length == 0 || length >= buffer.size()) return {};
  return {buffer.data(), length};
}

using DirectoryGetter = UINT(WINAPI*)(LPWSTR, UINT);
std::string system_path(DirectoryGetter get) {
  std::array<wchar_t, MAX_PATH + 1> buffer{};
  const UINT length = get(buffer.data(), static_cast<UINT>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return {};
  return from_wide(std::wstring_view(buffer.data(), length));
}

std::string environment_variable(const wchar_t* name) {
  const DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return {};
  std::wstring value(size, L'\0');
  const DWORD length = ::GetEnvironmentVariableW(name, value.data(), size);
  if (length == 0 || length >= size) return {};
  value.resize(length);
  return from_wide(value);
}

std::optional<std::string> find_powershell(const std::string& executable_dir) {
  const auto dirs = program_search_dirs(executable_dir, system_path(::GetSystemDirectoryW),
                                        system_path(::GetWindowsDirectoryW), environment_variable(L"PATH"));
  for (const auto& dir : dirs) {
    std::string candidate = join_windows_path(dir, POWERSHELL_EXE);
    const DWORD attributes = ::GetFileAttributesW(to_wide(candidate).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return candidate;
  }
  return std::nullopt;
}

// A file of that name may already be there, left by an earlier run or put
// there by another account of a shared temporary directory: it is removed
// and the script written to a file created new, so that what PowerShell
// runs is only ever what this process wrote. The new file has a DACL of its
// own rather than the directory's: where the temporary directory is not the
// system's (no GetTempPath2W, a machine TEMP elsewhere), other accounts
// could otherwise open it for writing before PowerShell reads it.
std::optional<std::string> write_script(const std::wstring& path) {
  ::DeleteFileW(path.c_str());
  const auto descriptor = security_descriptor_from_text(SYSTEM_AND_ADMINISTRATORS_ONLY);
  if (!descriptor) return os_error_text(descriptor.error());
  SECURITY_ATTRIBUTES security{sizeof(security), descriptor->get(), FALSE};
  UniqueKernelHandle file(
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, &security, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return last_error_text();
  std::string_view rest = KEYBOARD_SCRIPT;
  while (!rest.empty()) {
    DWORD written = 0;
    if (!::WriteFile(file.get(), rest.data(), static_cast<DWORD>(rest.size()), &written, nullptr) || written == 0) {
      std::string error = last_error_text();
      file.reset();
      // Half a script is of use to nobody; the file is this process's own.
      ::DeleteFileW(path.c_str());
      return error;
    }
    rest.remove_prefix(written);
  }
  return std::nullopt;
}

struct ChildPipe {
  UniqueKernelHandle read;
  UniqueKernelHandle write;  // inherited by the child, closed here once it runs
};

std::optional<ChildPipe> make_child_pipe() {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  if (!::CreatePipe(&read, &write, &inherit, 0)) return std::nullopt;
  ChildPipe pipe{UniqueKernelHandle(read), UniqueKernelHandle(write)};
  if (!::SetHandleInformation(pipe.read.get(), HANDLE_FLAG_INHERIT, 0)) return std::nullopt;
  return pipe;
}

std::string read_to_end(HANDLE pipe) {
  std::array<char, 4096> chunk{};
  return read_stream_to_end([&]() -> std::optional<std::string> {
    DWORD count = 0;
    if (!::ReadFile(pipe, chunk.data(), static_cast<DWORD>(chunk.size()), &count, nullptr)) return std::nullopt;
    return std::string(chunk.data(), count);
  });
}

// Standard error is not wanted, but a child that fills its pipe would wait
// for a reader forever.
DWORD WINAPI discard_stream(void* pipe) {
  read_to_end(static_cast<HANDLE>(pipe));
  return 0;
}

struct ChildResult {
  DWORD exit_code = 0;
  std::string output;
};

std::expected<ChildResult, std::string> run_child(const std::string& program, const std::vector<std::string>& args) {
  auto out = make_child_pipe();
  if (!out) return std::unexpected(last_error_text());
  auto err = make_child_pipe();
  if (!err) return std::unexpected(last_error_text());
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  UniqueKernelHandle null_input(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!null_input) return std::unexpected(last_error_text());

  const UniqueKernelHandle drain(::CreateThread(nullptr, 0, discard_stream, err->read.get(), 0, nullptr));
  if (!drain) return std::unexpected(last_error_text());

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = null_input.get();
  startup.hStdOutput = out->write.get();
  startup.hStdError = err->write.get();
  std::wstring line = to_wide(command_line(program, args));
  PROCESS_INFORMATION process{};
  const BOOL started = ::CreateProcessW(to_wide(program).c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                        nullptr, nullptr, &startup, &process);
  const DWORD start_error = ::GetLastError();
  // Only the child may hold the writing ends, or the reads below never end.
  out->write.reset();
  err->write.reset();
  null_input.reset();
  if (!started) {
    ::WaitForSingleObject(drain.get(), INFINITE);
    return std::unexpected(os_error_text(start_error));
  }
  const UniqueKernelHandle child(process.hProcess);
  const UniqueKernelHandle child_thread(process.hThread);

  ChildResult result;
  result.output = read_to_end(out->read.get());
  ::WaitForSingleObject(drain.get(), INFINITE);
  if (::WaitForSingleObject(child.get(), INFINITE) != WAIT_OBJECT_0 ||
      !::GetExitCodeProcess(child.get(), &result.exit_code)) {
    return std::unexpected(last_error_text());
  }
  return result;
}

}  // namespace

std::expected<std::string, HalError> run_keyboard_script(std::string_view mode, unsigned level) {
  const std::wstring temp_dir = temp_directory();
  if (temp_dir.empty()) return std::unexpected(unavailable("script de rétroéclairage non créé : ", last_error_text()));
  const std::string script_path = join_windows_path(from_wide(temp_dir), script_file_name(::GetCurrentProcessId()));
  const std::wstring wide_script_path = to_wide(script_path);
  if (auto error = write_script(wide_script_path)) {
    return std::unexpected(unavailable("script de rétroéclairage non créé : ", *error));
  }

  const std::string executable_dir = parent_windows_path(executable_path().value_or(std::string()));
  const std::string framework_dir =
      executable_dir.empty() ? std::string() : join_windows_path(executable_dir, FRAMEWORK_DIR_NAME);
  std::expected<ChildResult, std::string> child = std::unexpected(os_error_text(ERROR_FILE_NOT_FOUND));
  if (const auto powershell = find_powershell(executable_dir)) {
    child = run_child(*powershell, script_arguments(script_path, mode, level, framework_dir));
  }
  ::DeleteFileW(wide_script_path.c_str());

  if (!child) return std::unexpected(unavailable("PowerShell indisponible : ", child.error()));
  if (child->exit_code != 0) return std::unexpected(HalError::unavailable(std::string(MSG_SCRIPT_FAILED)));
  return decode_utf8_lossy(child->output);
}

}  // namespace ostrane
