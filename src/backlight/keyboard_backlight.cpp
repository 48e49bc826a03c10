#include "src/backlight/keyboard_backlight.h"

#include <algorithm>
#include <cstdint>

#include "src/backlight/keyboard_json.h"
#include "src/common/utf8.h"

namespace ostrane {

std::string keyboard_request(std::string_view mode, unsigned level) {
  if (mode != MODE_WRITE) return "{\"op\":\"keyboard_read\"}\n";
  std::string request = R"({"op":"keyboard_write","level":)";
  request += std::to_string(level);
  request += "}\n";
  return request;
}

std::expected<KeyboardState, HalError> interpret_keyboard_json(std::string_view text, std::string_view mode) {
  auto json = parse_keyboard_json(text);
  if (!json) {
    std::string message = "réponse de rétroéclairage illisible : ";
    message += json.error();
    return std::unexpected(HalError::invalid_data(std::move(message)));
  }
  // A reason made of spaces is still a reason: only the empty text is none.
  if (!json->available) {
    return std::unexpected(
        HalError::unavailable(json->reason.empty() ? std::string(MSG_NO_BACKLIGHT) : std::move(json->reason)));
  }
  if (mode == MODE_WRITE && !json->applied) {
    return std::unexpected(
        HalError::unavailable(json->reason.empty() ? std::string(MSG_NOT_APPLIED) : std::move(json->reason)));
  }
  const auto source = backlight_source_from_wire(json->source);
  if (!source) {
    std::string message = "source de rétroéclairage inconnue : ";
    message += json->source;
    return std::unexpected(HalError::invalid_data(std::move(message)));
  }
  const std::uint8_t max_level = json->max_level == 0 ? 1 : std::min<std::uint8_t>(json->max_level, 2);
  return KeyboardState{
      .known = json->known,
      .source = *source,
      .level = std::min(json->level, max_level),
      .max_level = max_level,
  };
}

std::expected<KeyboardState, HalError> run_backlight(std::string_view mode, unsigned level,
                                                     const BacklightChannels& channels) {
  const PipeExchange exchange = channels.exchange(keyboard_request(mode, level));
  switch (exchange.outcome) {
    case PipeExchange::Outcome::Answered: return interpret_keyboard_json(decode_utf8_lossy(exchange.answer), mode);
    case PipeExchange::Outcome::Interrupted:
      // The service was there: running the script here as well could act
      // on the backlight twice.
      return std::unexpected(HalError::unavailable(std::string(MSG_EXCHANGE_INTERRUPTED)));
    case PipeExchange::Outcome::NotOpened: break;
  }
  auto output = channels.run_script(mode, level);
  if (!output) return std::unexpected(std::move(output.error()));
  return interpret_keyboard_json(*output, mode);
}

}  // namespace ostrane
