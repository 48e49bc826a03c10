#include "src/service/pipe_protocol.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "src/common/json_members.h"
#include "src/common/json_writer.h"
#include "src/common/text.h"
#include "src/common/utf8.h"

namespace ostrane {
namespace {

// Members in ascending byte order of their names, as every response has them.
std::string response(bool ok, bool known, unsigned level, unsigned max_level, std::string_view reason,
                     std::string_view source) {
  const char* flag = ok ? "true" : "false";
  std::string out = "{\"applied\":";
  out += flag;
  out += ",\"available\":";
  out += flag;
  out += ",\"known\":";
  out += known ? "true" : "false";
  out += ",\"level\":";
  out += std::to_string(level);
  out += ",\"max_level\":";
  out += std::to_string(max_level);
  out += ",\"reason\":";
  append_json_string(out, reason);
  out += ",\"source\":";
  append_json_string(out, source);
  out += '}';
  return out;
}

std::string answer(const std::expected<KeyboardState, HalError>& result) {
  return result ? state_response(*result) : error_response(display(result.error()));
}

// What a request holds for the server: the text of "op" when it is a
// string, and "level" when it is a plain non-negative integer. A member
// given twice counts with its last value, as in any JSON object reader.
struct Request {
  std::string op;
  std::optional<std::uint64_t> level;
};

}  // namespace

std::string state_response(const KeyboardState& state) {
  return response(true, state.known, state.level, state.max_level, "", to_wire(state.source));
}

std::string error_response(std::string_view reason) { return response(false, false, 0, 0, reason, ""); }

std::string handle_request(std::string_view bytes, const BacklightOperations& operations) {
  if (!is_valid_utf8(bytes)) return error_response(MSG_REQUEST_NOT_UTF8);

  Request request;
  const auto take = [&](const JsonMember& m) -> std::optional<std::string> {
    if (m.name == "op") {
      request.op = m.kind == JsonKind::String ? std::string(m.text) : std::string();
    } else if (m.name == "level") {
      request.level = m.kind == JsonKind::UnsignedInteger ? std::optional(m.unsigned_integer) : std::nullopt;
    }
    return std::nullopt;
  };
  // Only white space may surround the request: a byte-order mark is refused.
  const auto kind = read_json_members(trim_white_space(bytes), take, LeadingBom::Refuse);
  if (!kind) {
    std::string reason = "requête illisible : ";
    reason += kind.error();
    return error_response(reason);
  }

  if (request.op == OP_KEYBOARD_READ) return answer(operations.read());
  if (request.op == OP_KEYBOARD_WRITE) {
    if (!request.level) return error_response(MSG_LEVEL_MISSING);
    return answer(operations.write(static_cast<unsigned>(std::min<std::uint64_t>(*request.level, MAX_REQUEST_LEVEL))));
  }
  std::string reason = "opération inconnue : ";
  reason += request.op;
  return error_response(reason);
}

}  // namespace ostrane
