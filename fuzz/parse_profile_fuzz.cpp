// Any byte string is a possible profile file: reading it must never crash,
// a TOML refusal must always be a well-formed position report, and what is
// accepted must pass the checks again; what is read directly is what the
// TOML library's way reads.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "src/common/utf8.h"
#include "src/profiles/parse_profile.h"
#include "src/profiles/plain_profile.h"
#include "src/profiles/profile_toml.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

constexpr std::string_view REPORT_START = "TOML parse error at line ";

// Reads the decimal number at the front of `text`, which must have one.
std::size_t take_number(std::string_view& text) {
  std::size_t digits = 0, value = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
    value = value * 10 + static_cast<std::size_t>(text[digits] - '0');
    ++digits;
  }
  require(digits > 0 && digits < 12);
  text.remove_prefix(digits);
  return value;
}

std::string_view take_line(std::string_view& text) {
  const std::size_t end = text.find('\n');
  require(end != std::string_view::npos);
  const std::string_view line = text.substr(0, end);
  text.remove_prefix(end + 1);
  return line;
}

void check_report(std::string_view report) {
  require(report.starts_with(REPORT_START));
  std::string_view rest = report.substr(REPORT_START.size());
  const std::size_t line = take_number(rest);
  require(line >= 1);
  require(rest.starts_with(", column "));
  rest.remove_prefix(9);
  const std::size_t column = take_number(rest);
  require(column >= 1);
  require(rest.starts_with('\n'));
  rest.remove_prefix(1);

  const std::string number = std::to_string(line);
  const std::string gutter(number.size(), ' ');
  require(take_line(rest) == gutter + " |");
  const std::string_view quoted = take_line(rest);
  require(quoted.starts_with(number + " | "));
  const std::string_view carets = take_line(rest);
  require(carets.starts_with(gutter + " | " + std::string(column - 1, ' ') + "^"));
  require(carets.find_first_not_of('^', gutter.size() + 3 + column - 1) == std::string_view::npos);
  require(!rest.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  // What is read directly is what the TOML library's way reads.
  if (const auto plain = ostrane::read_plain_profile(text)) {
    const auto library = ostrane::map_profile_toml_with_library(text);
    require(library.has_value() && *library == *plain);
  }
  const auto result = ostrane::parse_profile(text);
  if (result) {
    // A document the parser took whole was valid UTF-8 without raw NUL.
    require(ostrane::is_valid_utf8(text));
    require(text.find('\0') == std::string_view::npos);
    require(ostrane::is_valid_utf8(result->id) && ostrane::is_valid_utf8(result->display_name));
    require(ostrane::validate_profile(*result).has_value());
  } else if (const auto* toml = std::get_if<ostrane::profile_error::Toml>(&result.error())) {
    check_report(toml->report);
  } else {
    // Refused by the checks: the text itself mapped.
    require(ostrane::map_profile_toml(text).has_value());
    require(!ostrane::display(result.error()).empty());
  }
  // Nothing depends on anything but the text.
  require(ostrane::parse_profile(text) == result);
  return 0;
}
