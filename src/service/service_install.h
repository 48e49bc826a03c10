#pragma once
// Registering and removing the service, over the few service-manager calls
// they need, so that every branch can be followed without a service manager.

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

namespace ostrane {

// Windows codes with a meaning of their own here.
inline constexpr std::uint32_t CODE_SERVICE_ALREADY_RUNNING = 1056;
inline constexpr std::uint32_t CODE_SERVICE_EXISTS = 1073;

// Access rights asked for when opening the service.
inline constexpr std::uint32_t ACCESS_SERVICE_QUERY_CONFIG = 0x0001;
inline constexpr std::uint32_t ACCESS_SERVICE_START = 0x0010;
inline constexpr std::uint32_t ACCESS_SERVICE_ALL = 0xF01FF;

// Where a started service got to.
struct StartWait {
  enum class State { Running, Stopped, StillStarting };
  State state = State::Running;
  std::uint32_t exit_code = 0;       // the Win32 code a stopped service gave
  std::uint32_t waited_seconds = 0;  // how long it was waited for
};

// Each call answers 0 or the Windows error code read right after it. The
// manager and the service handle live inside; the close calls end them.
class ServiceManagerCalls {
 public:
  virtual ~ServiceManagerCalls() = default;
  virtual std::uint32_t open_manager() = 0;
  // The running executable's full path, or the system's error text.
  virtual std::expected<std::string, std::string> executable_path() = 0;
  // The final path of the executable, what gets registered, once the
  // service may run from there; otherwise the refusal text.
  virtual std::expected<std::string, std::string> check_location(std::string_view executable_path) = 0;
  // The command line of the open service's registration, or the Windows
  // error code.
  virtual std::expected<std::string, std::uint32_t> registered_command_line() = 0;
  // Once started, until the service serves or stops, for as long as its
  // own wait hint allows; with handles of its own.
  virtual StartWait wait_for_start() = 0;
  virtual std::uint32_t create_service(std::string_view command_line) = 0;
  virtual std::uint32_t open_service(std::uint32_t access) = 0;
  virtual std::uint32_t start_service() = 0;
  virtual std::uint32_t delete_service() = 0;
  virtual void close_service() = 0;
  virtual void close_manager() = 0;
};

// The success line to print, or the error text for the command line.
using ServiceCommandResult = std::expected<std::string, std::string>;

ServiceCommandResult install_with(ServiceManagerCalls& calls);
ServiceCommandResult uninstall_with(ServiceManagerCalls& calls);

}  // namespace ostrane
