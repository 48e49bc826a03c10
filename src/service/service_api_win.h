#pragma once
// The service-manager functions of advapi32.dll, and the security
// functions that the installation needs from it to read who may change the
// program's files. Only the service commands and the service itself use
// them, so the DLL is loaded when one of those runs: detect and profiles
// start without it.

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <expected>
#include <string>

#include "src/platform/system_library_win.h"

namespace ostrane {

struct ServiceManagerApi {
  SystemLibrary library;
  decltype(&::OpenSCManagerW) open_manager = nullptr;
  decltype(&::CreateServiceW) create_service = nullptr;
  decltype(&::OpenServiceW) open_service = nullptr;
  decltype(&::StartServiceW) start_service = nullptr;
  decltype(&::DeleteService) delete_service = nullptr;
  decltype(&::CloseServiceHandle) close_handle = nullptr;
  decltype(&::StartServiceCtrlDispatcherW) start_dispatcher = nullptr;
  decltype(&::RegisterServiceCtrlHandlerExW) register_handler = nullptr;
  decltype(&::SetServiceStatus) set_status = nullptr;
  decltype(&::QueryServiceStatus) query_status = nullptr;
  decltype(&::QueryServiceConfigW) query_config = nullptr;
  decltype(&::GetNamedSecurityInfoW) get_named_security_info = nullptr;
  decltype(&::GetAce) get_ace = nullptr;
  decltype(&::OpenProcessToken) open_process_token = nullptr;
  decltype(&::GetTokenInformation) get_token_information = nullptr;
  decltype(&::ConvertSidToStringSidW) sid_to_text = nullptr;
  decltype(&::ConvertStringSidToSidW) sid_from_text = nullptr;
  decltype(&::LookupAccountSidW) lookup_account_sid = nullptr;
};

// Loaded by the first call and kept until the process ends, since service
// handles and the running service need the functions all along; every
// function or none. The error names the DLL or the function that is
// missing, with the system's text.
const std::expected<ServiceManagerApi, std::string>& service_manager_api();

}  // namespace ostrane
