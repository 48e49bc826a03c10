#pragma once
// The texts of the service commands and of the service host, apart from the
// platform calls so that each can be checked as it reads.

#include <cstdint>
#include <string>
#include <string_view>

namespace ostrane {

// "\"{path}\" --service": what the service manager runs.
std::string service_command_line(std::string_view executable_path);

// Errors, returned to the command line, which prints "erreur : " before them.
std::string msg_manager_unreachable(std::uint32_t code);          // M1
std::string msg_executable_path_unknown(std::string_view error);  // M2
std::string msg_create_refused(std::uint32_t code);               // M8
std::string msg_delete_refused(std::uint32_t code);               // M11
// An existing registration that runs another command line than the one
// being installed, and one whose configuration cannot be read.
std::string msg_registered_elsewhere(std::string_view registered, std::string_view installing);
std::string msg_registration_unreadable(std::uint32_t code);
// A service that the manager started but that stopped before it served,
// with the Win32 code of its stopped status, and one still starting.
std::string msg_stopped_at_start(std::uint32_t code);
std::string msg_still_starting(std::uint32_t seconds);
// advapi32.dll or one of its service-manager functions could not be had;
// `detail` names which, with the system's text.
std::string msg_service_functions_unavailable(std::string_view detail);

// Success lines, with their line feed.
std::string msg_installed_and_started();                              // M3
std::string msg_installed_start_refused(std::uint32_t code);          // M4
std::string msg_already_installed_running();                          // M5
std::string msg_already_installed_start_refused(std::uint32_t code);  // M6
std::string msg_already_installed_access_denied();                    // M7
std::string msg_uninstalled();                                        // M9
std::string msg_not_installed();                                      // M10

// The whole line on standard error when the dispatcher refuses to start,
// as it does when `--service` is run from a console (code 1063).
std::string dispatcher_refused_text(std::uint32_t code);
// The same line when the service-manager functions could not be had.
std::string dispatcher_functions_unavailable_text(std::string_view detail);

}  // namespace ostrane
