#include "src/profiles/schema_messages.h"

#include <array>
#include <charconv>
#include <cmath>
#include <system_error>

#include "src/common/utf8.h"

namespace ostrane {

std::string expected_names(std::span<const std::string_view> names) {
  // Appending, rather than "`" + name + "`", spares GCC 12 a false -Wrestrict.
  const auto quoted = [](std::string_view name) {
    std::string out;
    out.reserve(name.size() + 2);
    out += '`';
    out += name;
    out += '`';
    return out;
  };
  switch (names.size()) {
    case 0: return "nothing";
    case 1: return quoted(names[0]);
    case 2: return quoted(names[0]) + " or " + quoted(names[1]);
    default: {
      std::string out = "one of ";
      for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += ", ";
        out += quoted(names[i]);
      }
      return out;
    }
  }
}

std::string missing_field(std::string_view name) { return "missing field `" + std::string(name) + "`"; }

std::string unknown_field(std::string_view name, std::span<const std::string_view> expected) {
  return "unknown field `" + std::string(name) + "`, expected " + expected_names(expected);
}

std::string unknown_variant(std::string_view value, std::span<const std::string_view> expected) {
  return "unknown variant `" + std::string(value) + "`, expected " + expected_names(expected);
}

std::string invalid_type(std::string_view found, std::string_view wanted) {
  return "invalid type: " + std::string(found) + ", expected " + std::string(wanted);
}

std::string invalid_value(std::string_view found, std::string_view wanted) {
  return "invalid value: " + std::string(found) + ", expected " + std::string(wanted);
}

std::string describe_integer(std::int64_t value) { return "integer `" + std::to_string(value) + "`"; }

namespace {

// The shortest digits that read back as `value`, written out in full without
// an exponent: 5e22 is "50000000000000000000000", not the double's exact
// 49999999999999995805696.
std::string shortest_fixed(double value) {
  std::array<char, 32> buffer{};
  const auto [end, ec] =
      std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::scientific);
  std::string_view text(buffer.data(), ec == std::errc{} ? end : buffer.data());
  std::string out;
  if (text.starts_with('-')) {
    out += '-';
    text.remove_prefix(1);
  }
  const std::size_t e = text.find('e');
  if (e == std::string_view::npos) return out + std::string(text);
  std::string digits;
  for (const char c : text.substr(0, e)) {
    if (c != '.') digits += c;
  }
  std::string_view exponent_text = text.substr(e + 1);
  const bool negative_exponent = exponent_text.starts_with('-');
  if (exponent_text.starts_with('-') || exponent_text.starts_with('+')) exponent_text.remove_prefix(1);
  std::size_t magnitude = 0;
  std::from_chars(exponent_text.data(), exponent_text.data() + exponent_text.size(), magnitude);
  if (negative_exponent) return out + "0." + std::string(magnitude - 1, '0') + digits;
  const std::size_t whole = magnitude + 1;
  if (digits.size() <= whole) return out + digits + std::string(whole - digits.size(), '0') + ".0";
  return out + digits.substr(0, whole) + "." + digits.substr(whole);
}

}  // namespace

std::string describe_float(double value) {
  std::string digits;
  if (std::isnan(value)) {
    digits = "NaN";
  } else if (std::isinf(value)) {
    digits = value < 0 ? "-inf" : "inf";
  } else {
    digits = shortest_fixed(value);
  }
  return "floating point `" + digits + "`";
}

std::string describe_boolean(bool value) { return value ? "boolean `true`" : "boolean `false`"; }

std::string describe_string(std::string_view value) {
  std::string out = "string \"";
  for (std::size_t pos = 0; pos < value.size();) {
    const Utf8Step step = decode_utf8_at(value, pos);
    const char32_t c = step.value;
    switch (c) {
      case U'"': out += "\\\""; break;
      case U'\\': out += "\\\\"; break;
      case U'\n': out += "\\n"; break;
      case U'\r': out += "\\r"; break;
      case U'\t': out += "\\t"; break;
      case U'\0': out += "\\0"; break;
      default:
        if (step.valid && (c < 0x20 || (c >= 0x7F && c <= 0x9F))) {
          constexpr std::string_view HEX = "0123456789abcdef";
          std::string hex;
          for (char32_t v = c; v != 0 || hex.empty(); v >>= 4) hex.insert(hex.begin(), HEX[v & 0xF]);
          out += "\\u{" + hex + "}";
        } else {
          out.append(value.substr(pos, step.length));
        }
    }
    pos += step.length;
  }
  out += '"';
  return out;
}

}  // namespace ostrane
