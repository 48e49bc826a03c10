#include "src/profiles/schema_messages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace ostrane {
namespace {

TEST(SchemaMessages, ListExpectedNamesByCount) {
  struct Case {
    std::string_view name;
    std::vector<std::string_view> names;
    std::string_view expected;
  };
  const Case cases[] = {
      {"one name alone", {"path"}, "`path`"},
      {"two joined by or", {"min", "max"}, "`min` or `max`"},
      {"three after one of", {"validated", "documented", "assumed"}, "one of `validated`, `documented`, `assumed`"},
      {"five",
       {"msr", "ec", "wmi", "acpi", "platform_profile"},
       "one of `msr`, `ec`, `wmi`, `acpi`, `platform_profile`"},
      {"none", {}, "nothing"},
  };
  for (const auto& c : cases) EXPECT_EQ(expected_names(c.names), c.expected) << c.name;
}

TEST(SchemaMessages, FillTheFiveTemplates) {
  const std::string_view bounds[] = {"min", "max"};
  const std::string_view scopes[] = {"model", "family"};
  EXPECT_EQ(missing_field("matches"), "missing field `matches`");
  EXPECT_EQ(unknown_field("label", bounds), "unknown field `label`, expected `min` or `max`");
  EXPECT_EQ(unknown_variant("Family", scopes), "unknown variant `Family`, expected `model` or `family`");
  EXPECT_EQ(invalid_type("floating point `0.5`", "i64"), "invalid type: floating point `0.5`, expected i64");
  EXPECT_EQ(invalid_value("integer `-1`", "u32"), "invalid value: integer `-1`, expected u32");
}

TEST(SchemaMessages, DescribeIntegersAndBooleans) {
  EXPECT_EQ(describe_integer(0), "integer `0`");
  EXPECT_EQ(describe_integer(-1), "integer `-1`");
  EXPECT_EQ(describe_integer(std::numeric_limits<std::int64_t>::min()), "integer `-9223372036854775808`");
  EXPECT_EQ(describe_integer(std::numeric_limits<std::int64_t>::max()), "integer `9223372036854775807`");
  EXPECT_EQ(describe_boolean(true), "boolean `true`");
  EXPECT_EQ(describe_boolean(false), "boolean `false`");
}

TEST(SchemaMessages, DescribeFloatsInShortestFixedNotation) {
  struct Case {
    std::string_view name;
    double value;
    std::string expected;
  };
  const Case cases[] = {
      {"fraction", 0.5, "floating point `0.5`"},
      {"whole number gets .0", 1.0, "floating point `1.0`"},
      {"shortest round trip", 0.1, "floating point `0.1`"},
      {"negative zero", -0.0, "floating point `-0.0`"},
      {"large stays fixed", 1e10, "floating point `10000000000.0`"},
      {"shortest digits, then zeros", 5e22, "floating point `50000000000000000000000.0`"},
      {"digits on both sides", -123.456, "floating point `-123.456`"},
      {"largest double", 1.7976931348623157e308, "floating point `17976931348623157" + std::string(292, '0') + ".0`"},
      {"2^53 + 2 exactly", 9007199254740994.0, "floating point `9007199254740994.0`"},
      {"small stays fixed", 1.5e-7, "floating point `0.00000015`"},
      {"very large", 1e300, "floating point `1" + std::string(300, '0') + ".0`"},
      {"smallest subnormal", std::numeric_limits<double>::denorm_min(),
       "floating point `0." + std::string(323, '0') + "5`"},
      {"infinity", std::numeric_limits<double>::infinity(), "floating point `inf`"},
      {"negative infinity", -std::numeric_limits<double>::infinity(), "floating point `-inf`"},
      {"not a number", std::numeric_limits<double>::quiet_NaN(), "floating point `NaN`"},
      {"negative not a number", -std::numeric_limits<double>::quiet_NaN(), "floating point `NaN`"},
  };
  for (const auto& c : cases) EXPECT_EQ(describe_float(c.value), c.expected) << c.name;
}

TEST(SchemaMessages, DescribeStringsEscapedLikeADebugPrint) {
  struct Case {
    std::string_view name, value, expected;
  };
  const Case cases[] = {
      {"plain", "20XW", "string \"20XW\""},
      {"empty", "", "string \"\""},
      {"quote and backslash", "a\"b\\c", "string \"a\\\"b\\\\c\""},
      {"line feed, carriage return, tab", "\n\r\t", "string \"\\n\\r\\t\""},
      {"nul", std::string_view("a\0b", 3), "string \"a\\0b\""},
      {"other C0 control as hex", "\x01\x1B\x1F", "string \"\\u{1}\\u{1b}\\u{1f}\""},
      {"delete", "\x7F", "string \"\\u{7f}\""},
      {"C1 controls", "\xC2\x80\xC2\x85\xC2\x9F", "string \"\\u{80}\\u{85}\\u{9f}\""},
      {"accents raw", "Rétro-éclairage", "string \"Rétro-éclairage\""},
      {"single quote raw", "it's", "string \"it's\""},
      {"no-break space and line separator raw", "\xC2\xA0\xE2\x80\xA8", "string \"\xC2\xA0\xE2\x80\xA8\""},
      {"emoji raw", "\xF0\x9F\x98\x80", "string \"\xF0\x9F\x98\x80\""},
  };
  for (const auto& c : cases) EXPECT_EQ(describe_string(c.value), c.expected) << c.name;
}

}  // namespace
}  // namespace ostrane
