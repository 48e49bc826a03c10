#include <windows.h>

#include <bcrypt.h>

#include <array>
#include <cwchar>
#include <optional>
#include <utility>

#include "src/backlight/keyboard_script.h"
#include "src/backlight/script_runner.h"
#include "src/common/os_error.h"
#include "src/common/utf8.h"
#include "src/platform/executable_path_win.h"
#include "src/platform/security_descriptor_win.h"
#include "src/platform/system_library_win.h"
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

// What only this run may use: a folder of its own, made new in the
// temporary directory under a name nobody can guess, and whose DACL lets
// nobody but SYSTEM, the Administrators and its owner in. Where that
// directory is shared (C:\Windows\Temp, for the system account where
// GetTempPath2W is missing), another account could otherwise create the
// script's name first, hold it open or lock it, or do so with the files
// the C# compiler of Add-Type writes to TEMP. Removed with what it holds.
class PrivateFolder {
 public:
  static std::expected<PrivateFolder, std::string> make(const std::wstring& parent);
  PrivateFolder(PrivateFolder&& other) noexcept : path_(std::exchange(other.path_, {})) {}
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;
  PrivateFolder& operator=(PrivateFolder&&) = delete;
  ~PrivateFolder() {
    if (!path_.empty()) remove_tree(path_);
  }
  const std::wstring& path() const { return path_; }

 private:
  explicit PrivateFolder(std::wstring path) : path_(std::move(path)) {}

  // Nobody else could put anything here; links are removed, not followed.
  static void remove_tree(const std::wstring& dir) {
    WIN32_FIND_DATAW entry{};
    const UniqueFindHandle find(::FindFirstFileW((dir + L"\\*").c_str(), &entry));
    if (find) {
      do {
        const std::wstring_view name(std::data(entry.cFileName));
        if (name == L"." || name == L"..") continue;
        const std::wstring path = dir + L"\\" + std::wstring(name);
        const bool folder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (folder && (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
          remove_tree(path);
        } else if (folder) {
          ::RemoveDirectoryW(path.c_str());
        } else {
          ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
          ::DeleteFileW(path.c_str());
        }
      } while (::FindNextFileW(find.get(), &entry));
    }
    ::RemoveDirectoryW(dir.c_str());
  }

  std::wstring path_;
};

// 16 random bytes in hex, from the system's generator.
std::expected<std::string, std::string> unguessable_name_part() {
  static const auto LIBRARY = SystemLibrary::load(L"bcrypt.dll");
  if (!LIBRARY) return std::unexpected(LIBRARY.error());
  const auto generate = LIBRARY->function<decltype(::BCryptGenRandom)>("BCryptGenRandom");
  if (!generate) return std::unexpected(generate.error());
  std::array<unsigned char, 16> bytes{};
  const NTSTATUS status =
      (*generate)(nullptr, bytes.data(), static_cast<ULONG>(bytes.size()), BCRYPT_USE_SYSTEM_PREFERRED_RNG);
  if (status != 0) return std::unexpected(os_error_text(ERROR_GEN_FAILURE));
  std::string hex;
  for (const unsigned char byte : bytes) {
    constexpr std::string_view DIGITS = "0123456789abcdef";
    hex += DIGITS[byte >> 4];
    hex += DIGITS[byte & 0xF];
  }
  return hex;
}

std::expected<PrivateFolder, std::string> PrivateFolder::make(const std::wstring& parent) {
  const auto descriptor = security_descriptor_from_text(PRIVATE_FOLDER);
  if (!descriptor) return std::unexpected(os_error_text(descriptor.error()));
  SECURITY_ATTRIBUTES security{sizeof(security), descriptor->get(), FALSE};
  // A name already taken was not this run's: another one is drawn.
  for (int attempt = 0;; ++attempt) {
    const auto part = unguessable_name_part();
    if (!part) return std::unexpected(part.error());
    std::wstring path =
        parent + (parent.ends_with(L'\\') ? L"" : L"\\") + to_wide(private_folder_name(::GetCurrentProcessId(), *part));
    if (::CreateDirectoryW(path.c_str(), &security)) return PrivateFolder(std::move(path));
    if (::GetLastError() != ERROR_ALREADY_EXISTS || attempt == 3) return std::unexpected(last_error_text());
  }
}

// Created new in the run's own folder, with a DACL of its own as well.
std::optional<std::string> write_script(const std::wstring& path) {
  const auto descriptor = security_descriptor_from_text(PRIVATE_FOLDER);
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
      // Half a script is of use to nobody.
      ::DeleteFileW(path.c_str());
      return error;
    }
    rest.remove_prefix(written);
  }
  return std::nullopt;
}

// This process's environment, with TEMP and TMP naming `temp_dir`, as the
// NUL-separated block CreateProcessW takes.
std::wstring environment_block(std::string_view temp_dir) {
  std::vector<std::string> entries;
  if (wchar_t* block = ::GetEnvironmentStringsW()) {
    for (const wchar_t* at = block; *at != L'\0'; at += std::wcslen(at) + 1) entries.push_back(from_wide(at));
    ::FreeEnvironmentStringsW(block);
  }
  std::wstring out;
  for (const std::string& entry : child_environment(entries, temp_dir)) {
    out += to_wide(entry);
    out += L'\0';
  }
  out += L'\0';
  return out;
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

std::expected<ChildResult, std::string> run_child(const std::string& program, const std::vector<std::string>& args,
                                                  std::wstring environment) {
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
  const BOOL started =
      ::CreateProcessW(to_wide(program).c_str(), line.data(), nullptr, nullptr, TRUE,
                       CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT, environment.data(), nullptr, &startup, &process);
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
  auto folder = PrivateFolder::make(temp_dir);
  if (!folder) return std::unexpected(unavailable("script de rétroéclairage non créé : ", folder.error()));
  const std::string folder_path = from_wide(folder->path());
  const std::string script_path = join_windows_path(folder_path, script_file_name(::GetCurrentProcessId()));
  const std::wstring wide_script_path = to_wide(script_path);
  if (auto error = write_script(wide_script_path)) {
    return std::unexpected(unavailable("script de rétroéclairage non créé : ", *error));
  }

  const std::string executable_dir = parent_windows_path(executable_path().value_or(std::string()));
  const std::string framework_dir =
      executable_dir.empty() ? std::string() : join_windows_path(executable_dir, FRAMEWORK_DIR_NAME);
  std::expected<ChildResult, std::string> child = std::unexpected(os_error_text(ERROR_FILE_NOT_FOUND));
  if (const auto powershell = find_powershell(executable_dir)) {
    child = run_child(*powershell, script_arguments(script_path, mode, level, framework_dir),
                      environment_block(folder_path));
  }
  ::DeleteFileW(wide_script_path.c_str());

  if (!child) return std::unexpected(unavailable("PowerShell indisponible : ", child.error()));
  if (child->exit_code != 0) return std::unexpected(HalError::unavailable(std::string(MSG_SCRIPT_FAILED)));
  return decode_utf8_lossy(child->output);
}

}  // namespace ostrane
