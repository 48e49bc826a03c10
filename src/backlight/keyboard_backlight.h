#pragma once
// The two backlight operations: ask the service through its pipe, or run the
// script here when the pipe cannot be opened; one validation for both.

#include <expected>
#include <functional>
#include <string>
#include <string_view>

#include "hal/hal_error.h"
#include "src/backlight/keyboard_state.h"

namespace ostrane {

inline constexpr std::string_view MSG_EXCHANGE_INTERRUPTED = "service HAL joignable mais échange interrompu";
inline constexpr std::string_view MSG_NO_BACKLIGHT = "aucune interface de rétroéclairage clavier détectée";
inline constexpr std::string_view MSG_NOT_APPLIED = "la commande de rétroéclairage n'a pas été appliquée";

// "{\"op\":\"keyboard_read\"}\n", or the write request for mode "write".
std::string keyboard_request(std::string_view mode, unsigned level);

// Validates one answer of the script or of the service.
std::expected<KeyboardState, HalError> interpret_keyboard_json(std::string_view text, std::string_view mode);

// How the pipe client fared: not opened (so the script runs here instead),
// opened but the write or the read failed, or answered with these bytes.
struct PipeExchange {
  enum class Outcome { NotOpened, Interrupted, Answered };
  Outcome outcome = Outcome::NotOpened;
  std::string answer;
};

// The two ways to an answer, apart so that the choice between them can be
// tested without a pipe or PowerShell.
struct BacklightChannels {
  std::function<PipeExchange(std::string_view request)> exchange;
  std::function<std::expected<std::string, HalError>(std::string_view mode, unsigned level)> run_script;
};

std::expected<KeyboardState, HalError> run_backlight(std::string_view mode, unsigned level,
                                                     const BacklightChannels& channels);

// The service pipe and the script of this machine; defined by the Windows
// layer only, like the two operations over them.
BacklightChannels system_backlight_channels();

std::expected<KeyboardState, HalError> keyboard_read();
// Levels above 2 ask for 2.
std::expected<KeyboardState, HalError> keyboard_write(unsigned level);

}  // namespace ostrane
