#pragma once
// What a keyboard-backlight operation reports once its answer is validated.

#include <cstdint>
#include <optional>
#include <string_view>

namespace ostrane {

// The codes are part of the wire contract (one byte, 0 to 3).
enum class BacklightSource : std::uint8_t { Hid = 0, LenovoWmi = 1, ThinkpadPm = 2, Framework = 3 };

// "hid", "lenovo-wmi", "thinkpad-pm", "framework".
std::string_view to_wire(BacklightSource source);

// Exact, case-sensitive; anything else (the empty text included) is unknown.
std::optional<BacklightSource> backlight_source_from_wire(std::string_view name);

struct KeyboardState {
  bool known = false;
  BacklightSource source = BacklightSource::Hid;
  std::uint8_t level = 0;      // never above max_level
  std::uint8_t max_level = 1;  // 1 or 2

  friend bool operator==(const KeyboardState&, const KeyboardState&) = default;
};

// The mode passed to the script; only "write" changes what is checked.
inline constexpr std::string_view MODE_READ = "read";
inline constexpr std::string_view MODE_WRITE = "write";

// The highest level a request may ask for; higher ones are lowered to it.
inline constexpr unsigned MAX_REQUEST_LEVEL = 2;

}  // namespace ostrane
