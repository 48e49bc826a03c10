#include <windows.h>

#include <algorithm>
#include <array>

#include "src/backlight/keyboard_backlight.h"
#include "src/backlight/script_runner.h"
#include "src/common/service_pipe.h"
#include "src/platform/unique_handle_win.h"
#include "src/platform/wide_win.h"

namespace ostrane {
namespace {

// No wait for a busy pipe: busy means the service is serving someone, most
// likely the very request that led here. The server may identify the client
// but never act with its token: inside the service that token is SYSTEM's,
// and the pipe may not be the service's.
PipeExchange exchange_with_service(std::string_view request) {
  const UniqueKernelHandle pipe(::CreateFileW(to_wide(PIPE_NAME).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                              OPEN_EXISTING, SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
  if (!pipe) return {};
  DWORD written = 0;
  std::array<char, PIPE_BUFFER_SIZE> answer{};
  DWORD read = 0;
  if (!::WriteFile(pipe.get(), request.data(), static_cast<DWORD>(request.size()), &written, nullptr) ||
      !::ReadFile(pipe.get(), answer.data(), static_cast<DWORD>(answer.size()), &read, nullptr)) {
    return {.outcome = PipeExchange::Outcome::Interrupted};
  }
  return {.outcome = PipeExchange::Outcome::Answered, .answer = std::string(answer.data(), read)};
}

}  // namespace

BacklightChannels system_backlight_channels() { return {exchange_with_service, run_keyboard_script}; }

std::expected<KeyboardState, HalError> keyboard_read() {
  return run_backlight(MODE_READ, 0, system_backlight_channels());
}

std::expected<KeyboardState, HalError> keyboard_write(unsigned level) {
  return run_backlight(MODE_WRITE, std::min(level, MAX_REQUEST_LEVEL), system_backlight_channels());
}

}  // namespace ostrane
