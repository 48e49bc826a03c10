#include "testing/service_harness_win.h"

#include <aclapi.h>
#include <sddl.h>

#include <fstream>

#include "src/platform/wide_win.h"
#include "src/service/service_constants.h"
#include "src/service/service_handle_win.h"
#include "testing/test_files_win.h"

namespace ostrane::service_harness {

using namespace testing_support;

ServiceCopy::ServiceCopy() : ServiceCopy(make_temp_dir(L"ostrane service test")) {}

ServiceCopy::ServiceCopy(std::wstring dir) : dir_(std::move(dir)) {
  ::CreateDirectoryW(dir_.c_str(), nullptr);
  const std::wstring here = executable_dir();
  ready_ = file_exists(dir_) && ::CreateDirectoryW((dir_ + L"\\fake-powershell-control").c_str(), nullptr) &&
           ::CopyFileW(full_path(here + L"\\..\\..\\ostrane.exe").c_str(), exe().c_str(), FALSE) &&
           ::CopyFileW(fake_powershell_exe().c_str(), (dir_ + L"\\powershell.exe").c_str(), FALSE);
}

ServiceCopy::~ServiceCopy() { remove_tree(dir_); }

std::optional<ProcessOutput> ServiceCopy::run(std::wstring_view arguments) const {
  return run_process(L"\"" + exe() + L"\" " + std::wstring(arguments));
}

void ServiceCopy::answer(std::string_view stdout_bytes) const {
  std::ofstream((dir_ + L"\\fake-powershell-control\\stdout.bin").c_str(), std::ios::binary)
      .write(stdout_bytes.data(), static_cast<std::streamsize>(stdout_bytes.size()));
}

std::optional<std::string> ServiceCopy::recorded_arguments() const {
  return read_file(dir_ + L"\\fake-powershell-control\\args.txt");
}

std::optional<std::string> ServiceCopy::recorded_script() const {
  return read_file(dir_ + L"\\fake-powershell-control\\script.bin");
}

std::optional<std::string> ServiceCopy::recorded_script_dacl() const {
  return read_file(dir_ + L"\\fake-powershell-control\\script_dacl.txt");
}

void ServiceCopy::forget_recordings() const {
  for (const wchar_t* name : {L"args.txt", L"script.bin", L"script_dacl.txt"}) {
    ::DeleteFileW((dir_ + L"\\fake-powershell-control\\" + name).c_str());
  }
}

void ServiceCopy::hold(bool held) const {
  const std::wstring path = dir_ + L"\\fake-powershell-control\\hold.txt";
  if (held) {
    write_file(path, "");
  } else {
    ::DeleteFileW(path.c_str());
  }
}

std::wstring fake_powershell_exe() { return full_path(executable_dir() + L"\\..\\backlight\\fake-powershell.exe"); }

bool let_everyone_write(const std::wstring& path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
          L"D:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;WD)", SDDL_REVISION_1, &descriptor, nullptr)) {
    return false;
  }
  const UniqueLocalMemory owned(descriptor);
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  return ::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) &&
         ::SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                 nullptr, dacl, nullptr) == ERROR_SUCCESS;
}

std::optional<SERVICE_STATUS> service_status() {
  const UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  const UniqueServiceHandle service(
      manager.get() ? ::OpenServiceW(manager.get(), to_wide(SERVICE_NAME).c_str(), SERVICE_QUERY_STATUS) : nullptr);
  SERVICE_STATUS status{};
  if (!service.get() || !::QueryServiceStatus(service.get(), &status)) return std::nullopt;
  return status;
}

DWORD service_state() {
  const std::optional<SERVICE_STATUS> status = service_status();
  return status ? status->dwCurrentState : 0;
}

std::optional<RegisteredConfig> registered_config() {
  const UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  const UniqueServiceHandle service(
      manager.get() ? ::OpenServiceW(manager.get(), to_wide(SERVICE_NAME).c_str(), SERVICE_QUERY_CONFIG) : nullptr);
  if (!service.get()) return std::nullopt;
  DWORD needed = 0;
  ::QueryServiceConfigW(service.get(), nullptr, 0, &needed);
  std::string buffer(needed, '\0');
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (!::QueryServiceConfigW(service.get(), config, needed, &needed)) return std::nullopt;
  const auto text = [](const wchar_t* s) { return std::wstring(s ? s : L""); };
  return RegisteredConfig{config->dwServiceType,       config->dwStartType,
                          config->dwErrorControl,      text(config->lpBinaryPathName),
                          text(config->lpDisplayName), text(config->lpServiceStartName)};
}

std::optional<std::wstring> registered_command_line() {
  const auto config = registered_config();
  if (!config) return std::nullopt;
  return config->command_line;
}

DWORD send_control(DWORD control) {
  const UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  const UniqueServiceHandle service(
      manager.get() ? ::OpenServiceW(manager.get(), to_wide(SERVICE_NAME).c_str(),
                                     SERVICE_INTERROGATE | SERVICE_STOP | SERVICE_USER_DEFINED_CONTROL)
                    : nullptr);
  SERVICE_STATUS status{};
  if (!service.get() || !::ControlService(service.get(), control, &status)) return ::GetLastError();
  return 0;
}

bool stop_service_and_wait(DWORD timeout_ms) {
  {
    const UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    const UniqueServiceHandle service(
        manager.get() ? ::OpenServiceW(manager.get(), to_wide(SERVICE_NAME).c_str(), SERVICE_STOP) : nullptr);
    SERVICE_STATUS status{};
    if (service.get()) ::ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
  }
  // No state at all: the service is not (or no longer) registered.
  for (DWORD waited = 0; waited < timeout_ms; waited += 50) {
    const DWORD state = service_state();
    if (state == SERVICE_STOPPED || state == 0) return true;
    ::Sleep(50);
  }
  return false;
}

void remove_service() {
  stop_service_and_wait(10000);
  const UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  const UniqueServiceHandle service(manager.get() ? ::OpenServiceW(manager.get(), to_wide(SERVICE_NAME).c_str(), DELETE)
                                                  : nullptr);
  if (service.get()) ::DeleteService(service.get());
}

Exchange exchange(std::string_view request) {
  const HANDLE pipe =
      ::CreateFileW(to_wide(PIPE_NAME).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (pipe == INVALID_HANDLE_VALUE) return {.open_error = ::GetLastError()};
  Exchange result;
  DWORD written = 0;
  if (!request.empty() && ::WriteFile(pipe, request.data(), static_cast<DWORD>(request.size()), &written, nullptr)) {
    result.response = read_to_end(pipe);
  }
  ::CloseHandle(pipe);
  return result;
}

HANDLE open_pipe_waiting() {
  HANDLE pipe = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && pipe == INVALID_HANDLE_VALUE; ++attempt) {
    ::WaitNamedPipeW(to_wide(PIPE_NAME).c_str(), 5000);
    pipe =
        ::CreateFileW(to_wide(PIPE_NAME).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  }
  return pipe;
}

Exchange exchange_waiting(std::string_view request, int* refusals) {
  for (int attempt = 0;; ++attempt) {
    ::WaitNamedPipeW(to_wide(PIPE_NAME).c_str(), 5000);
    Exchange result = exchange(request);
    if (result.open_error != ERROR_PIPE_BUSY || attempt == 100) return result;
    if (refusals) ++*refusals;
  }
}

bool wait_for_pipe(DWORD timeout_ms) {
  for (DWORD waited = 0; waited < timeout_ms; waited += 20) {
    if (::WaitNamedPipeW(to_wide(PIPE_NAME).c_str(), 20)) return true;
    ::Sleep(20);
  }
  return false;
}

}  // namespace ostrane::service_harness
