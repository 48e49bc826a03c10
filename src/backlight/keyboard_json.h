#pragma once
// The seven-member object the backlight script prints and the service sends
// back: the one reader for both.

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

namespace ostrane {

struct KeyboardJson {
  bool available = false;
  bool known = false;
  std::uint8_t level = 0;
  std::uint8_t max_level = 0;
  std::string source;
  bool applied = false;
  std::string reason;

  friend bool operator==(const KeyboardJson&, const KeyboardJson&) = default;
};

// White_Space around the object is ignored, anything else around it is an
// error. Every member is required, once, with its JSON type; members of other
// names are skipped whatever they hold. The error is the description shown
// after "réponse de rétroéclairage illisible : ".
std::expected<KeyboardJson, std::string> parse_keyboard_json(std::string_view text);

}  // namespace ostrane
