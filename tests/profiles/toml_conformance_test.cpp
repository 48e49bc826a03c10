// The TOML layer against TOML 1.1.0: every valid document must get past the
// parser, so that only the schema can refuse it; every invalid one must be
// refused by the parser itself, as a report, never by aborting.

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <string_view>

#include "src/profiles/profile_toml.h"

namespace ostrane {
namespace {

constexpr std::string_view REPORT_START = "TOML parse error at line ";

constexpr std::array<std::string_view, 5> SCHEMA_PREFIXES = {"missing field `", "unknown field `", "unknown variant `",
                                                             "invalid type: ", "invalid value: "};

bool is_schema_message(std::string_view message) {
  if (message == "wanted string or table") return true;
  for (std::string_view prefix : SCHEMA_PREFIXES) {
    if (message.starts_with(prefix)) return true;
  }
  return false;
}

// What follows the four lines of position, gutter, source and carets.
std::string_view message_of(std::string_view report) {
  std::size_t pos = 0;
  for (int line = 0; line < 4; ++line) {
    pos = report.find('\n', pos);
    if (pos == std::string_view::npos) return {};
    ++pos;
  }
  return report.substr(pos);
}

// A valid profile's first five lines, leaving the top-level table open: what
// follows them decides the outcome.
constexpr std::string_view HEAD =
    "schema_version = 1\n"
    "id = \"t14\"\n"
    "display_name = \"ThinkPad T14\"\n"
    "scope = \"model\"\n"
    "matches = { mtm = [\"20W0\"] }\n";
constexpr std::size_t HEAD_LINES = 5;

TEST(TomlConformance, ValidDocumentsFailOnlyInTheSchema) {
  struct Case {
    std::string_view name, text, message;
  };
  const Case cases[] = {
      // TOML 1.1 novelties.
      {"escape \\e", "schema_version = \"\\e[1m\"", "invalid type: string \"\\u{1b}[1m\", expected u32"},
      {"escape \\xHH, ASCII and Latin-1", "schema_version = \"\\x41\\xE9\\x00\"",
       "invalid type: string \"Aé\\0\", expected u32"},
      {"\\e and \\x in a multi-line basic string", "schema_version = \"\"\"\\e\\x7f\"\"\"",
       "invalid type: string \"\\u{1b}\\u{7f}\", expected u32"},
      {"\\x inside an enumerated value", "scope = \"\\x4Dodel\"",
       "unknown variant `Model`, expected `model` or `family`"},
      {"inline table over several lines with a trailing comma", "schema_version = {\n  a = 1,\n  b = \"x\",\n}",
       "invalid type: map, expected u32"},
      {"inline table with comments inside", "schema_version = { # open\n  a = 1, # first\n  # alone\n  b = 2\n}",
       "invalid type: map, expected u32"},
      {"trailing comma on one line", "schema_version = { a = 1, }", "invalid type: map, expected u32"},
      {"nested multi-line inline tables", "scope = {\n  a = {\n    b = [\n      1,\n    ],\n  },\n}",
       "invalid type: map, expected enum ProfileScope"},
      {"local time without seconds", "id = 07:32", "invalid type: map, expected a string"},
      {"date-time without seconds, offset", "id = 1979-05-27T07:32Z", "invalid type: map, expected a string"},
      {"local date-time without seconds", "id = 1979-05-27T07:32", "invalid type: map, expected a string"},
      {"date-time with space and no seconds", "id = 1979-05-27 07:32-05:00", "invalid type: map, expected a string"},
      // Strings of TOML 1.0.
      {"basic escapes", "schema_version = \"\\b\\t\\n\\f\\r\\\"\\\\\"",
       "invalid type: string \"\\u{8}\\t\\n\\u{c}\\r\\\"\\\\\", expected u32"},
      {"\\u and \\U escapes", "schema_version = \"\\u00E9\\U0001F600\"", "invalid type: string \"é😀\", expected u32"},
      {"literal string keeps backslashes", "schema_version = 'C:\\Users\\node'",
       "invalid type: string \"C:\\\\Users\\\\node\", expected u32"},
      {"multi-line basic string, first line feed trimmed, line-ending backslash",
       "schema_version = \"\"\"\nRoses \\\n    are red\"\"\"", "invalid type: string \"Roses are red\", expected u32"},
      {"multi-line literal string", "schema_version = '''\nfirst\n\\second'''",
       "invalid type: string \"first\\n\\\\second\", expected u32"},
      {"quotes next to the closing delimiter", "schema_version = \"\"\"a\"\"b\"\"\"\"\"",
       "invalid type: string \"a\\\"\\\"b\\\"\\\"\", expected u32"},
      {"accent after a line-ending backslash", "schema_version = \"\"\"Rétro\\\n   éclairage\"\"\"",
       "invalid type: string \"Rétroéclairage\", expected u32"},
      {"literal quotes next to the closing delimiter", "schema_version = ''''a'''''",
       "invalid type: string \"'a''\", expected u32"},
      {"CRLF inside a multi-line string becomes LF", "schema_version = \"\"\"a\r\nb\"\"\"\r\n",
       "invalid type: string \"a\\nb\", expected u32"},
      {"tab and accents raw in a string", "schema_version = \"\tÉté\"",
       "invalid type: string \"\\tÉté\", expected u32"},
      {"empty string", "schema_version = \"\"", "invalid type: string \"\", expected u32"},
      // Integers.
      {"hexadecimal with underscores", "id = 0xDEAD_beef", "invalid type: integer `3735928559`, expected a string"},
      {"octal", "id = 0o755", "invalid type: integer `493`, expected a string"},
      {"binary with underscores", "id = 0b1101_0110", "invalid type: integer `214`, expected a string"},
      {"decimal with underscores and sign", "id = -1_000_000", "invalid type: integer `-1000000`, expected a string"},
      {"plus sign", "id = +42", "invalid type: integer `42`, expected a string"},
      {"i64 minimum", "id = -9223372036854775808", "invalid type: integer `-9223372036854775808`, expected a string"},
      {"i64 maximum is out of u32", "schema_version = 9_223_372_036_854_775_807",
       "invalid value: integer `9223372036854775807`, expected u32"},
      {"zero with sign", "id = -0", "invalid type: integer `0`, expected a string"},
      // Floats.
      {"fraction with underscore", "id = 3.14_15", "invalid type: floating point `3.1415`, expected a string"},
      {"exponent", "id = 5e+22", "invalid type: floating point `50000000000000000000000.0`, expected a string"},
      {"negative exponent, capital E", "id = -2E-2", "invalid type: floating point `-0.02`, expected a string"},
      {"exponent with underscore", "id = 1e1_0", "invalid type: floating point `10000000000.0`, expected a string"},
      {"positive infinity", "id = +inf", "invalid type: floating point `inf`, expected a string"},
      {"negative infinity", "id = -inf", "invalid type: floating point `-inf`, expected a string"},
      {"not a number", "id = nan", "invalid type: floating point `NaN`, expected a string"},
      {"negative zero", "id = -0.0", "invalid type: floating point `-0.0`, expected a string"},
      // Booleans, dates and times.
      {"false", "id = false", "invalid type: boolean `false`, expected a string"},
      {"offset date-time with fraction", "id = 1979-05-27T00:32:00.999999-07:00",
       "invalid type: map, expected a string"},
      {"lower-case t and z", "id = 1979-05-27t07:32:00z", "invalid type: map, expected a string"},
      {"local date-time with space", "id = 1979-05-27 07:32:00", "invalid type: map, expected a string"},
      {"local date, leap day", "id = 2024-02-29", "invalid type: map, expected a string"},
      {"local time with fraction", "id = 00:32:00.5", "invalid type: map, expected a string"},
      {"date where an integer is wanted", "schema_version = 1979-05-27", "invalid type: map, expected u32"},
      {"date where an enumeration is wanted", "scope = 1979-05-27", "wanted string or table"},
      // Arrays and tables.
      {"mixed array with trailing comma", "id = [1, [2, \"x\"], { a = 1 }, 1979-05-27, ]",
       "invalid type: sequence, expected a string"},
      {"multi-line array with comments", "id = [\n  1, # one\n  # nothing\n  2,\n]",
       "invalid type: sequence, expected a string"},
      {"empty inline table", "id = {}", "invalid type: map, expected a string"},
      {"inline table with dotted keys", "id = { a.b = 1, a.c = { d = [] } }", "invalid type: map, expected a string"},
      {"dotted keys", "a.b.c = 1",
       "unknown field `a`, expected one of `schema_version`, `id`, `display_name`, "
       "`scope`, `matches`, `capabilities`"},
      {"white space around dots", "a . \"b\" . c = 1",
       "unknown field `a`, expected one of `schema_version`, `id`, `display_name`, `scope`, `matches`, "
       "`capabilities`"},
      {"quoted key with space", "\"quoted key\" = 1",
       "unknown field `quoted key`, expected one of `schema_version`, `id`, `display_name`, `scope`, `matches`, "
       "`capabilities`"},
      {"literal quoted key with a dot", "'lit.key' = 1",
       "unknown field `lit.key`, expected one of `schema_version`, `id`, `display_name`, `scope`, `matches`, "
       "`capabilities`"},
      {"empty quoted key", "\"\" = 1",
       "unknown field ``, expected one of `schema_version`, `id`, `display_name`, `scope`, `matches`, "
       "`capabilities`"},
      {"escaped quoted key", "\"\\u00e9t\\xE9\" = 1",
       "unknown field `été`, expected one of `schema_version`, `id`, `display_name`, `scope`, `matches`, "
       "`capabilities`"},
      {"bare keys of digits and dashes", "1234 = 1\n-_- = 2",
       "unknown field `1234`, expected one of `schema_version`, `id`, `display_name`, `scope`, `matches`, "
       "`capabilities`"},
      {"key that looks like a float is dotted", "3.14 = 1",
       "unknown field `3`, expected one of `schema_version`, `id`, `display_name`, `scope`, `matches`, "
       "`capabilities`"},
      {"quoted key equal to a field name", "\"id\" = 5", "invalid type: integer `5`, expected a string"},
      {"array of tables", "[[extra]]\nx = 1\n[[extra]]\n[extra.sub]\ny = 2",
       "unknown field `extra`, expected one of `schema_version`, `id`, `display_name`, `scope`, `matches`, "
       "`capabilities`"},
      {"sub-table defined before its parent", "[x.y]\nz = 1\n[x]\nw = 2",
       "unknown field `x`, expected one of `schema_version`, `id`, `display_name`, `scope`, `matches`, "
       "`capabilities`"},
      {"header with spaces and quoted parts", "[ matches . 'mtm' ]", "invalid type: map, expected a sequence"},
      {"comments, blank lines and tabs", "\t# comment é\n\n  id\t=\t1\t# trailing\n",
       "invalid type: integer `1`, expected a string"},
      {"CRLF line endings", "id = 1\r\n\r\n", "invalid type: integer `1`, expected a string"},
      {"no line feed at the end", "id = 1", "invalid type: integer `1`, expected a string"},
  };
  for (const auto& c : cases) {
    const auto mapped = map_profile_toml(c.text);
    ASSERT_FALSE(mapped.has_value()) << c.name;
    EXPECT_TRUE(mapped.error().starts_with(REPORT_START)) << c.name << "\n" << mapped.error();
    const std::string_view message = message_of(mapped.error());
    EXPECT_TRUE(is_schema_message(message)) << c.name << "\n" << mapped.error();
    EXPECT_EQ(message, c.message) << c.name;
  }
}

TEST(TomlConformance, InvalidDocumentsFailInTheParser) {
  struct Case {
    std::string_view name, fragment;
    std::size_t line;  // within the fragment
  };
  const Case cases[] = {
      {"lone [ at the end", "[", 1},
      {"lone [ before a line feed", "[\n", 1},
      {"lone [[ before a line feed", "[[\nx = 1", 1},
      {"[ before a dot", "[.a]", 1},
      {"empty header", "[]", 1},
      {"header ending with a dot", "[a.]", 1},
      {"unbalanced header brackets", "[a]]", 1},
      {"array-of-tables header missing a bracket", "[[a]", 1},
      {"spaced array-of-tables brackets", "[ [a] ]", 1},
      {"unterminated basic string", "x = \"abc", 1},
      {"unterminated literal string", "x = 'abc", 1},
      {"unterminated multi-line basic string", "x = \"\"\"abc\n", 1},
      {"unterminated multi-line literal string: at the last character read", "x = '''abc\n\n", 2},
      {"line feed inside a basic string", "x = \"abc\ny\"", 1},
      {"too many quotes closing a multi-line string", "x = \"\"\"a\"\"\"\"\"\"", 1},
      {"invalid escape", "x = \"\\q\"", 1},
      {"escape \\e in a literal string is fine, \\E is not", "x = '\\e'\ny = \"\\E\"", 2},
      {"\\x with one digit", "x = \"\\x4\"", 1},
      {"\\x with a non-hex digit", "x = \"\\xG0\"", 1},
      {"short \\u escape", "x = \"\\u00\"", 1},
      {"surrogate \\u escape", "x = \"\\uD800\"", 1},
      {"\\U past U+10FFFF", "x = \"\\U00110000\"", 1},
      {"raw control character in a string", "x = \"a\x01b\"", 1},
      {"control character in a comment", "x = 1 # a\x7F", 1},
      {"invalid UTF-8", "x = \"\xFF\"", 1},
      {"lone carriage return", "x = 1\ry = 2", 1},
      {"month 13", "x = 1979-13-01", 1},
      {"February 29 of a common year", "x = 2023-02-29", 1},
      {"hour 24", "x = 1979-05-27T24:00:00", 1},
      {"minute 60", "x = 07:60", 1},
      {"offset hour 24", "x = 1979-05-27T07:32:00+24:00", 1},
      {"offset without colon", "x = 1979-05-27T07:32:00+0700", 1},
      {"one-digit month", "x = 1979-5-27", 1},
      {"date-time without time", "x = 1979-05-27T", 1},
      {"time with a trailing colon", "x = 07:32:", 1},
      {"fraction without digits", "x = 1979-05-27T07:32:00.", 1},
      {"duplicate key", "x = 1\nx = 2", 2},
      {"duplicate key in an inline table", "x = { a = 1, a = 2 }", 1},
      {"duplicate key through a quoted form", "x = 1\n\"x\" = 2", 2},
      {"redefining a table", "[t]\n[t]", 2},
      {"redefining an inline table by a header", "a = { b = 1 }\n[a]", 2},
      {"extending an inline table by a dotted key", "a = { b = 1 }\na.c = 2", 2},
      {"extending an inline table by a header", "a = { b = 1 }\n[a.c]", 2},
      {"dotted-key table redefined by a header", "[a]\nx.y = 1\n[a.x]", 3},
      {"value redefined as a dotted table", "a.b = 1\na.b.c = 2", 2},
      {"static array then array of tables", "a = [1]\n[[a]]", 2},
      {"array of tables then table", "[[a]]\n[a]", 2},
      {"table then array of tables", "[a]\n[[a]]", 2},
      {"leading zero", "x = 01", 1},
      {"leading zero in a float", "x = 00.5", 1},
      {"hexadecimal without digits", "x = 0x", 1},
      {"hexadecimal with a bad digit", "x = 0xG", 1},
      {"binary with a bad digit", "x = 0b12", 1},
      {"octal with a bad digit", "x = 0o8", 1},
      {"sign on a hexadecimal", "x = +0x10", 1},
      {"double underscore", "x = 1__000", 1},
      {"leading underscore", "x = _1", 1},
      {"trailing underscore", "x = 1_", 1},
      {"integer past i64", "x = 9223372036854775808", 1},
      {"integer below i64", "x = -9223372036854775809", 1},
      {"float with a trailing dot", "x = 1.", 1},
      {"float with a leading dot", "x = .5", 1},
      {"exponent without digits", "x = 1e", 1},
      {"two dots", "x = 1.5.3", 1},
      {"infinity with a suffix", "x = inf1", 1},
      {"hexadecimal float", "x = 0x1.8p1", 1},
      {"capitalised boolean", "x = True", 1},
      {"truncated boolean", "x = tru", 1},
      {"missing value", "x = ", 1},
      {"missing key", "= 1", 1},
      {"space inside a bare key", "a b = 1", 1},
      {"non-ASCII bare key", "clé = 1", 1},
      {"plus in a bare key", "a+b = 1", 1},
      {"accent right after a value", "x = 1é", 1},
      {"character of U+2C0E..U+2FFF right after a value", "x = true\u2E80", 1},
      {"multi-line string as a key", "\"\"\"k\"\"\" = 1", 1},
      {"two pairs on one line", "a = 1 b = 2", 1},
      {"two strings on one line", "x = \"a\" \"b\"", 1},
      {"array without commas", "x = [\n1\n2]", 3},
      {"array with only a comma", "x = [,]", 1},
      {"array with a double comma", "x = [1,,2]", 1},
      {"unterminated array", "x = [1, 2", 1},
      {"inline table without commas", "x = { a = 1 b = 2 }", 1},
      {"inline table with a double comma", "x = { a = 1,, }", 1},
      {"inline table with only a comma", "x = { , }", 1},
      {"unterminated inline table", "x = { a = 1", 1},
      {"inline table at the top level", "{ a = 1 }", 1},
  };
  for (const auto& c : cases) {
    const std::string text = std::string(HEAD) + std::string(c.fragment);
    const auto mapped = map_profile_toml(text);
    ASSERT_FALSE(mapped.has_value()) << c.name;
    const std::string& report = mapped.error();
    const std::string expected_start = std::string(REPORT_START) + std::to_string(c.line + HEAD_LINES) + ", column ";
    EXPECT_TRUE(report.starts_with(expected_start)) << c.name << "\n" << report;
    const std::string_view message = message_of(report);
    EXPECT_FALSE(message.empty()) << c.name << "\n" << report;
    EXPECT_FALSE(is_schema_message(message)) << c.name << "\n" << report;
  }
}

TEST(TomlConformance, FullProfileUsingTomlOneOneMaps) {
  constexpr std::string_view TEXT =
      "\xEF\xBB\xBF# Profile \xC3\xA9"
      "crit \xC3\xA0 la main\r\n"
      "schema_version = 0x1\r\n"
      "'id' = 'x1-carbon-gen9'\r\n"
      "display_name = \"ThinkPad X1 Carbon Gen 9\"\r\n"
      "scope = \"\\x6Dodel\"\r\n"
      "matches = {\r\n"
      "  mtm = [\r\n"
      "    \"20XW\", # first\r\n"
      "    '20XX',\r\n"
      "  ],\r\n"
      "  version_contains = [],\r\n"
      "}\r\n"
      "\r\n"
      "[[capabilities]]\r\n"
      "id = \"keyboard_backlight\"\r\n"
      "label = \"\"\"\r\n"
      "Keyboard \\\r\n"
      "   backlight\"\"\"\r\n"
      "confidence = \"validated\"\r\n"
      "validated_on = \"2024-05-01T07:32\"\r\n"
      "sources = [\"vendor WMI documentation\", '''C:\\docs\\wmi.txt''']\r\n"
      "access = {\r\n"
      "  method = \"wmi\",\r\n"
      "  class = \"LENOVO_LIGHTING_METHOD\",\r\n"
      "  property = \"Current_Brightness_Level\",\r\n"
      "}\r\n"
      "bounds.min = 0\r\n"
      "bounds.max = 0b10\r\n"
      "notes = \"\\e[1mbold\\e[0m, \\xE9t\\xE9\"\r\n"
      "\r\n"
      "[[capabilities]]\r\n"
      "id = \"fan\"\r\n"
      "label = \"Fan\"\r\n"
      "confidence = \"assumed\"\r\n"
      "sources = [\"manual\",]\r\n"
      "[capabilities.access]\r\n"
      "method = \"ec\"\r\n"
      "offset = 0o377\r\n";

  MachineProfile expected;
  expected.schema_version = 1;
  expected.id = "x1-carbon-gen9";
  expected.display_name = "ThinkPad X1 Carbon Gen 9";
  expected.scope = ProfileScope::Model;
  expected.matches.mtm = {"20XW", "20XX"};
  Capability backlight;
  backlight.id = "keyboard_backlight";
  backlight.label = "Keyboard backlight";
  backlight.access = access::Wmi{"LENOVO_LIGHTING_METHOD", "Current_Brightness_Level"};
  backlight.confidence = Confidence::Validated;
  backlight.sources = {"vendor WMI documentation", "C:\\docs\\wmi.txt"};
  backlight.validated_on = "2024-05-01T07:32";
  backlight.bounds = Bounds{0, 2};
  backlight.notes = "\x1B[1mbold\x1B[0m, \xC3\xA9t\xC3\xA9";
  Capability fan;
  fan.id = "fan";
  fan.label = "Fan";
  fan.access = access::Ec{255};
  fan.confidence = Confidence::Assumed;
  fan.sources = {"manual"};
  expected.capabilities = {backlight, fan};

  const auto mapped = map_profile_toml(TEXT);
  ASSERT_TRUE(mapped.has_value()) << mapped.error();
  EXPECT_EQ(*mapped, expected);
}

}  // namespace
}  // namespace ostrane
