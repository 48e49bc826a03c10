#pragma once
// The five messages of the profile schema and the descriptions of the TOML
// values they quote.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace ostrane {

// "`a`", "`a` or `b`", "one of `a`, `b`, `c`".
std::string expected_names(std::span<const std::string_view> names);

std::string missing_field(std::string_view name);
std::string unknown_field(std::string_view name, std::span<const std::string_view> expected);
std::string unknown_variant(std::string_view value, std::span<const std::string_view> expected);
std::string invalid_type(std::string_view found, std::string_view wanted);
std::string invalid_value(std::string_view found, std::string_view wanted);

// An enumeration given as neither a string nor a table.
inline constexpr std::string_view WANTED_STRING_OR_TABLE = "wanted string or table";

// What a type or value error says was found.
std::string describe_integer(std::int64_t value);
std::string describe_float(double value);
std::string describe_boolean(bool value);
std::string describe_string(std::string_view value);
inline constexpr std::string_view DESCRIBE_ARRAY = "sequence";
inline constexpr std::string_view DESCRIBE_TABLE = "map";

}  // namespace ostrane
