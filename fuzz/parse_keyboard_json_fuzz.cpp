// Any text is a possible script output or service answer: reading it must
// never crash, and what is accepted must be exactly what a plain JSON
// parser sees in it.

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "src/backlight/keyboard_json.h"
#include "src/common/text.h"
#include "src/common/utf8.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

bool is_level(const nlohmann::json& value, std::uint8_t expected) {
  return value.is_number_integer() && value.get<std::int64_t>() == expected;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto parsed = ostrane::parse_keyboard_json(text);
  if (!parsed) {
    require(!parsed.error().empty());
    require(ostrane::is_valid_utf8(parsed.error()));
    return 0;
  }
  const auto trimmed = ostrane::trim_white_space(text);
  const auto json = nlohmann::json::parse(trimmed.begin(), trimmed.end(), nullptr, false);
  require(json.is_object());
  require(json.at("available") == parsed->available);
  require(json.at("known") == parsed->known);
  require(json.at("applied") == parsed->applied);
  require(is_level(json.at("level"), parsed->level));
  require(is_level(json.at("max_level"), parsed->max_level));
  require(json.at("source") == parsed->source);
  require(json.at("reason") == parsed->reason);
  return 0;
}
