// Any bytes are a possible request: the answer must always be one compact
// response that the clients' reader takes, and the backlight is reached only
// by the two operations, with a level of at most 2.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "src/backlight/keyboard_json.h"
#include "src/common/utf8.h"
#include "src/service/pipe_protocol.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) return -1;  // the server never reads more
  const std::string_view request(reinterpret_cast<const char*>(data), size);
  int calls = 0;
  const ostrane::KeyboardState state{true, ostrane::BacklightSource::Hid, 1, 2};
  const ostrane::BacklightOperations operations{
      [&]() -> std::expected<ostrane::KeyboardState, ostrane::HalError> {
        ++calls;
        return state;
      },
      [&](unsigned level) -> std::expected<ostrane::KeyboardState, ostrane::HalError> {
        ++calls;
        require(level <= 2);
        return std::unexpected(ostrane::HalError::unavailable("é\"\n"));
      }};

  const std::string response = ostrane::handle_request(request, operations);
  require(calls <= 1);
  require(ostrane::is_valid_utf8(response));
  require(response.find('\n') == std::string::npos);
  require(response.starts_with("{\"applied\":"));
  const auto parsed = ostrane::parse_keyboard_json(response);
  require(parsed.has_value());
  require(parsed->applied == parsed->available);
  if (!parsed->available) {
    require(!parsed->known && parsed->level == 0 && parsed->max_level == 0 && parsed->source.empty());
    require(!parsed->reason.empty());
  } else {
    require(calls == 1 && parsed->reason.empty() && parsed->source == "hid");
  }
  if (!ostrane::is_valid_utf8(request)) require(parsed->reason == "requête non UTF-8" && calls == 0);
  require(ostrane::handle_request(request, operations) == response);
  return 0;
}
