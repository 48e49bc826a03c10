#pragma once
// One request, one response: what the service reads from a client and what
// it answers, every failure included, as compact JSON.

#include <expected>
#include <functional>
#include <string>
#include <string_view>

#include "hal/hal_error.h"
#include "src/backlight/keyboard_state.h"

namespace ostrane {

inline constexpr std::string_view OP_KEYBOARD_READ = "keyboard_read";
inline constexpr std::string_view OP_KEYBOARD_WRITE = "keyboard_write";

inline constexpr std::string_view MSG_REQUEST_NOT_UTF8 = "requête non UTF-8";
inline constexpr std::string_view MSG_LEVEL_MISSING = "niveau manquant";

// The backlight operations a request reaches; the service passes the real
// ones, tests a fake.
struct BacklightOperations {
  std::function<std::expected<KeyboardState, HalError>()> read;
  std::function<std::expected<KeyboardState, HalError>(unsigned level)> write;
};

// {"applied":true,"available":true,"known":…,"level":…,"max_level":…,"reason":"","source":"…"}
std::string state_response(const KeyboardState& state);

// {"applied":false,"available":false,"known":false,"level":0,"max_level":0,"reason":"…","source":""}
std::string error_response(std::string_view reason);

// The bytes of one read (at most 4096) to the response, without its line
// feed. Never fails: every problem is a failure response.
std::string handle_request(std::string_view bytes, const BacklightOperations& operations);

}  // namespace ostrane
