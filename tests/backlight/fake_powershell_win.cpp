// Stands in for powershell.exe in the runner's tests. The test tells it what
// to do through files in the directory named by OSTRANE_FAKE_POWERSHELL, or,
// when that is not set (a service does not get the test's environment), in
// "fake-powershell-control" beside the fake itself:
//   stdout.bin     written to standard output as it is
//   exit_code.txt  the exit code (0 when missing)
//   stderr_kib.txt that many KiB of noise on standard error (none when missing)
//   hold.txt       while it exists, the fake waits (a minute at most) before
//                  answering, as a slow PowerShell would
// and it records there:
//   args.txt       each argument after the program name, one per line
//   script.bin     the bytes of the file after -File, if there was one
//   script_dacl.txt the DACL of that file, in the descriptor language
//   temp.txt       its TEMP and TMP, "TEMP=…" and "TMP=…" on a line each
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <shellapi.h>

#include <string>

#include "src/platform/wide_win.h"
#include "testing/test_files_win.h"

namespace {

using namespace ostrane::testing_support;

void write_handle(DWORD which, const std::string& bytes) {
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(which), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::string dacl_text(const std::wstring& path) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                              &descriptor) != ERROR_SUCCESS) {
    return "";
  }
  wchar_t* text = nullptr;
  std::string out;
  if (::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                             &text, nullptr)) {
    out = ostrane::from_wide(text);
    ::LocalFree(text);
  }
  ::LocalFree(descriptor);
  return out;
}

}  // namespace

int wmain() {
  wchar_t control[MAX_PATH] = {};
  std::wstring dir;
  if (::GetEnvironmentVariableW(L"OSTRANE_FAKE_POWERSHELL", control, MAX_PATH) != 0) {
    dir = std::wstring(control) + L"\\";
  } else {
    wchar_t self[MAX_PATH] = {};
    const std::wstring path(self, ::GetModuleFileNameW(nullptr, self, MAX_PATH));
    dir = path.substr(0, path.find_last_of(L'\\') + 1) + L"fake-powershell-control\\";
  }

  int argc = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  std::string args;
  std::wstring script;
  for (int i = 1; i < argc; ++i) {
    args += ostrane::from_wide(argv[i]) + "\n";
    if (std::wstring_view(argv[i]) == L"-File" && i + 1 < argc) script = argv[i + 1];
  }
  ::LocalFree(argv);
  write_file(dir + L"args.txt", args);
  std::string temp;
  for (const wchar_t* name : {L"TEMP", L"TMP"}) {
    wchar_t value[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, value, MAX_PATH);
    temp += ostrane::from_wide(name) + "=" + ostrane::from_wide(std::wstring_view(value, length)) + "\n";
  }
  write_file(dir + L"temp.txt", temp);
  if (!script.empty()) {
    write_file(dir + L"script.bin", read_file(script).value_or(""));
    write_file(dir + L"script_dacl.txt", dacl_text(script));
  }
  for (int waited = 0; waited < 60000 && file_exists(dir + L"hold.txt"); waited += 20) ::Sleep(20);

  const std::string noise = read_file(dir + L"stderr_kib.txt").value_or("");
  if (!noise.empty()) {
    const std::string kib(1024, 'e');
    for (int i = std::stoi(noise); i > 0; --i) write_handle(STD_ERROR_HANDLE, kib);
  }
  write_handle(STD_OUTPUT_HANDLE, read_file(dir + L"stdout.bin").value_or(""));
  const std::string code = read_file(dir + L"exit_code.txt").value_or("");
  return code.empty() ? 0 : std::stoi(code);
}
