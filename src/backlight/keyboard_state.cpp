#include "src/backlight/keyboard_state.h"

#include <array>
#include <utility>

namespace ostrane {
namespace {

constexpr std::array<std::pair<BacklightSource, std::string_view>, 4> NAMES{{
    {BacklightSource::Hid, "hid"},
    {BacklightSource::LenovoWmi, "lenovo-wmi"},
    {BacklightSource::ThinkpadPm, "thinkpad-pm"},
    {BacklightSource::Framework, "framework"},
}};

}  // namespace

std::string_view to_wire(BacklightSource source) {
  for (const auto& [code, name] : NAMES) {
    if (code == source) return name;
  }
  return {};
}

std::optional<BacklightSource> backlight_source_from_wire(std::string_view name) {
  for (const auto& [code, wire] : NAMES) {
    if (wire == name) return code;
  }
  return std::nullopt;
}

}  // namespace ostrane
