#include "src/profiles/profile_toml.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace ostrane {
namespace {

// Lines 1 to 6 of most texts below.
constexpr std::string_view HEAD =
    "schema_version = 1\n"
    "id = \"t14\"\n"
    "display_name = \"ThinkPad T14\"\n"
    "scope = \"model\"\n"
    "[matches]\n"
    "mtm = [\"20W0\"]\n";

// Lines 7 to 11; a capability's access, on line 12, is added by each case.
constexpr std::string_view CAPABILITY =
    "[[capabilities]]\n"
    "id = \"fan\"\n"
    "label = \"Fan\"\n"
    "confidence = \"assumed\"\n"
    "sources = [\"manual\"]\n";

std::string with_head(std::string_view rest) { return std::string(HEAD) + std::string(rest); }
std::string with_capability(std::string_view rest) { return with_head(CAPABILITY) + std::string(rest); }

std::string report_of(std::string_view text) {
  const auto mapped = map_profile_toml(text);
  return mapped ? std::string("<mapped>") : mapped.error();
}

MachineProfile t14() {
  MachineProfile p;
  p.schema_version = 1;
  p.id = "t14";
  p.display_name = "ThinkPad T14";
  p.scope = ProfileScope::Model;
  p.matches.mtm = {"20W0"};
  return p;
}

Capability fan(Access access) {
  Capability c;
  c.id = "fan";
  c.label = "Fan";
  c.access = std::move(access);
  c.confidence = Confidence::Assumed;
  c.sources = {"manual"};
  return c;
}

MachineProfile t14_with(Capability capability) {
  MachineProfile p = t14();
  p.capabilities.push_back(std::move(capability));
  return p;
}

TEST(MapProfileToml, MapsValidProfiles) {
  struct Case {
    std::string_view name;
    std::string text;
    MachineProfile expected;
  };
  MachineProfile carbon;
  carbon.schema_version = 1;
  carbon.id = "x1-carbon-gen9";
  carbon.display_name = "ThinkPad X1 Carbon Gen 9";
  carbon.scope = ProfileScope::Model;
  carbon.matches.mtm = {"20XW", "20XX"};
  Capability backlight;
  backlight.id = "keyboard_backlight";
  backlight.label = "Keyboard backlight";
  backlight.confidence = Confidence::Documented;
  backlight.sources = {"vendor WMI documentation"};
  backlight.access = access::Wmi{"LENOVO_LIGHTING_METHOD", "Current_Brightness_Level"};
  backlight.bounds = Bounds{0, 2};
  carbon.capabilities.push_back(backlight);

  MachineProfile family;
  family.schema_version = 1;
  family.id = "thinkpad";
  family.display_name = "ThinkPad";
  family.scope = ProfileScope::Family;
  family.matches.version_contains = {"ThinkPad", ""};

  MachineProfile empty_matches = t14();
  empty_matches.matches.mtm.clear();

  MachineProfile version_two = t14();
  version_two.schema_version = 2;

  Capability validated = fan(access::Msr{416});
  validated.confidence = Confidence::Validated;
  validated.validated_on = "2024-01-01, T14 Gen 1";
  validated.notes = "";
  validated.bounds = Bounds{-9223372036854775807 - 1, 9223372036854775807};

  Capability everything_in_any_order = fan(access::Acpi{"\\_SB.PCI0.LPCB.EC0.KBLT"});
  MachineProfile two_capabilities = t14_with(fan(access::Ec{255}));
  two_capabilities.capabilities.push_back(fan(access::PlatformProfile{}));
  two_capabilities.capabilities.back().id = "profile";

  const Case cases[] = {
      {"full model profile with wmi access and bounds",
       "schema_version = 1\n"
       "id = \"x1-carbon-gen9\"\n"
       "display_name = \"ThinkPad X1 Carbon Gen 9\"\n"
       "scope = \"model\"\n"
       "\n"
       "[matches]\n"
       "mtm = [\"20XW\", \"20XX\"]\n"
       "\n"
       "[[capabilities]]\n"
       "id = \"keyboard_backlight\"\n"
       "label = \"Keyboard backlight\"\n"
       "confidence = \"documented\"\n"
       "sources = [\"vendor WMI documentation\"]\n"
       "access = { method = \"wmi\", class = \"LENOVO_LIGHTING_METHOD\", property = \"Current_Brightness_Level\" }\n"
       "bounds = { min = 0, max = 2 }\n",
       carbon},
      {"no capabilities gives an empty list", with_head(""), t14()},
      {"empty [matches] passes with both lists empty",
       "schema_version = 1\nid = \"t14\"\ndisplay_name = \"ThinkPad T14\"\nscope = \"model\"\n[matches]\n",
       empty_matches},
      {"family scope with version_contains",
       "schema_version = 1\nid = \"thinkpad\"\ndisplay_name = \"ThinkPad\"\nscope = \"family\"\n"
       "[matches]\nversion_contains = [\"ThinkPad\", \"\"]\n",
       family},
      {"schema_version 2 passes this layer", "schema_version = 2\n" + with_head("").substr(19), version_two},
      {"ec offset written 0xFF is 255", with_capability("access = { method = \"ec\", offset = 0xFF }\n"),
       t14_with(fan(access::Ec{255}))},
      {"ec offset 0 and binary 0b0", with_capability("access = { method = \"ec\", offset = 0b0 }\n"),
       t14_with(fan(access::Ec{0}))},
      {"msr address written 0x1A0 is 416", with_capability("access = { method = \"msr\", address = 0x1A0 }\n"),
       t14_with(fan(access::Msr{416}))},
      {"msr address 2^32-1 with underscores and octal",
       with_capability("access = { method = \"msr\", address = 0o37_777_777_777 }\n"),
       t14_with(fan(access::Msr{4294967295u}))},
      {"platform_profile ignores extra keys of any type",
       with_capability("access = { method = \"platform_profile\", label = 1, x = { y = [] } }\n"),
       t14_with(fan(access::PlatformProfile{}))},
      {"validated_on quoted is taken whatever its content, bounds at the i64 limits",
       with_head("[[capabilities]]\n"
                 "notes = ''\n"
                 "bounds.max = 9223372036854775807\n"
                 "bounds.min = -9223372036854775808\n"
                 "validated_on = \"2024-01-01, T14 Gen 1\"\n"
                 "sources = [\"manual\"]\n"
                 "confidence = \"validated\"\n"
                 "access.address = 0x1a0\n"
                 "access.method = \"msr\"\n"
                 "label = \"Fan\"\n"
                 "id = \"fan\"\n"),
       t14_with(validated)},
      {"method taken from anywhere in a [table]",
       with_capability("[capabilities.access]\npath = '\\_SB.PCI0.LPCB.EC0.KBLT'\nmethod = \"acpi\"\n"),
       t14_with(everything_in_any_order)},
      {"inline array of inline tables",
       std::string("schema_version = 1\nid = \"t14\"\ndisplay_name = \"ThinkPad T14\"\nscope = \"model\"\n"
                   "matches = { mtm = [\"20W0\"] }\n"
                   "capabilities = [\n"
                   "  { id = \"fan\", label = \"Fan\", confidence = \"assumed\", sources = [\"manual\"],\n"
                   "    access = { method = \"ec\", offset = 255 } },\n"
                   "  { id = \"profile\", label = \"Fan\", confidence = \"assumed\", sources = [\"manual\"],\n"
                   "    access = { method = \"platform_profile\" }, },\n"
                   "]\n"),
       two_capabilities},
      {"empty capabilities array",
       "schema_version = 1\nid = \"t14\"\ndisplay_name = \"ThinkPad T14\"\nscope = \"model\"\ncapabilities = []\n"
       "[matches]\nmtm = [\"20W0\"]\n",
       t14()},
      {"byte order mark and CRLF line endings",
       "\xEF\xBB\xBFschema_version = 1\r\nid = \"t14\"\r\ndisplay_name = \"ThinkPad T14\"\r\nscope = \"model\"\r\n"
       "[matches]\r\nmtm = [\"20W0\"]\r\n",
       t14()},
  };
  for (const auto& c : cases) {
    const auto mapped = map_profile_toml(c.text);
    ASSERT_TRUE(mapped.has_value()) << c.name << "\n" << mapped.error();
    EXPECT_EQ(*mapped, c.expected) << c.name;
  }
}

TEST(MapProfileToml, ReportsSchemaErrorsAtTheOffendingSpan) {
  struct Case {
    std::string_view name;
    std::string text;
    std::string_view expected;
  };
  const Case cases[] = {
      {"unknown key at the top level", "schema_version = 1\nid = \"t14\"\nlabel = \"x\"\n",
       "TOML parse error at line 3, column 1\n"
       "  |\n"
       "3 | label = \"x\"\n"
       "  | ^^^^^\n"
       "unknown field `label`, expected one of `schema_version`, `id`, `display_name`, `scope`, `matches`, "
       "`capabilities`"},
      {"schema_version -1 is out of u32", "schema_version = -1\n" + with_head("").substr(19),
       "TOML parse error at line 1, column 18\n"
       "  |\n"
       "1 | schema_version = -1\n"
       "  |                  ^^\n"
       "invalid value: integer `-1`, expected u32"},
      {"scope Family is an unknown variant",
       "schema_version = 1\nid = \"t14\"\ndisplay_name = \"T14\"\nscope = \"Family\"\n[matches]\n",
       "TOML parse error at line 4, column 9\n"
       "  |\n"
       "4 | scope = \"Family\"\n"
       "  |         ^^^^^^^^\n"
       "unknown variant `Family`, expected `model` or `family`"},
      {"confidence Validated is an unknown variant",
       with_head("[[capabilities]]\nid = \"fan\"\nlabel = \"Fan\"\nconfidence = \"Validated\"\n"),
       "TOML parse error at line 10, column 14\n"
       "   |\n"
       "10 | confidence = \"Validated\"\n"
       "   |              ^^^^^^^^^^^\n"
       "unknown variant `Validated`, expected one of `validated`, `documented`, `assumed`"},
      {"ec offset 256 is out of u8", with_capability("access = { method = \"ec\", offset = 256 }\n"),
       "TOML parse error at line 12, column 36\n"
       "   |\n"
       "12 | access = { method = \"ec\", offset = 256 }\n"
       "   |                                    ^^^\n"
       "invalid value: integer `256`, expected u8"},
      {"ec offset -1 is out of u8", with_capability("access = { method = \"ec\", offset = -1 }\n"),
       "TOML parse error at line 12, column 36\n"
       "   |\n"
       "12 | access = { method = \"ec\", offset = -1 }\n"
       "   |                                    ^^\n"
       "invalid value: integer `-1`, expected u8"},
      {"msr address 2^32 is out of u32", with_capability("access = { method = \"msr\", address = 0x1_0000_0000 }\n"),
       "TOML parse error at line 12, column 38\n"
       "   |\n"
       "12 | access = { method = \"msr\", address = 0x1_0000_0000 }\n"
       "   |                                      ^^^^^^^^^^^^^\n"
       "invalid value: integer `4294967296`, expected u32"},
      {"wmi without property, at the inline table's brace",
       with_capability("access = { method = \"wmi\", class = \"LENOVO_LIGHTING_METHOD\" }\n"),
       "TOML parse error at line 12, column 10\n"
       "   |\n"
       "12 | access = { method = \"wmi\", class = \"LENOVO_LIGHTING_METHOD\" }\n"
       "   |          ^\n"
       "missing field `property`"},
      {"acpi with an extra key label lists only the variant's keys",
       with_capability("access = { method = \"acpi\", path = \"\\\\_SB.KBLT\", label = \"x\" }\n"),
       "TOML parse error at line 12, column 50\n"
       "   |\n"
       "12 | access = { method = \"acpi\", path = \"\\\\_SB.KBLT\", label = \"x\" }\n"
       "   |                                                  ^^^^^\n"
       "unknown field `label`, expected `path`"},
      {"wmi unknown key lists class and property", with_capability("access = { method = \"wmi\", label = 1 }\n"),
       "TOML parse error at line 12, column 28\n"
       "   |\n"
       "12 | access = { method = \"wmi\", label = 1 }\n"
       "   |                            ^^^^^\n"
       "unknown field `label`, expected `class` or `property`"},
      {"msr unknown key lists address", with_capability("access = { address = 1, method = \"msr\", bus = 0 }\n"),
       "TOML parse error at line 12, column 41\n"
       "   |\n"
       "12 | access = { address = 1, method = \"msr\", bus = 0 }\n"
       "   |                                         ^^^\n"
       "unknown field `bus`, expected `address`"},
      {"method smm is an unknown variant, before the keys written ahead of it",
       with_capability("access = { label = \"x\", method = \"smm\" }\n"),
       "TOML parse error at line 12, column 34\n"
       "   |\n"
       "12 | access = { label = \"x\", method = \"smm\" }\n"
       "   |                                  ^^^^^\n"
       "unknown variant `smm`, expected one of `msr`, `ec`, `wmi`, `acpi`, `platform_profile`"},
      {"method is compared case-sensitively", with_capability("access = { method = \"MSR\", address = 1 }\n"),
       "TOML parse error at line 12, column 21\n"
       "   |\n"
       "12 | access = { method = \"MSR\", address = 1 }\n"
       "   |                     ^^^^^\n"
       "unknown variant `MSR`, expected one of `msr`, `ec`, `wmi`, `acpi`, `platform_profile`"},
      {"access without method", with_capability("access = { address = 1 }\n"),
       "TOML parse error at line 12, column 10\n"
       "   |\n"
       "12 | access = { address = 1 }\n"
       "   |          ^\n"
       "missing field `method`"},
      {"access method not a string", with_capability("access = { method = 1 }\n"),
       "TOML parse error at line 12, column 21\n"
       "   |\n"
       "12 | access = { method = 1 }\n"
       "   |                     ^\n"
       "invalid type: integer `1`, expected a string"},
      {"access not a table", with_capability("access = \"wmi\"\n"),
       "TOML parse error at line 12, column 10\n"
       "   |\n"
       "12 | access = \"wmi\"\n"
       "   |          ^^^^^\n"
       "invalid type: string \"wmi\", expected internally tagged enum Access"},
      {"access variant key of the wrong type", with_capability("access = { method = \"acpi\", path = 7 }\n"),
       "TOML parse error at line 12, column 36\n"
       "   |\n"
       "12 | access = { method = \"acpi\", path = 7 }\n"
       "   |                                    ^\n"
       "invalid type: integer `7`, expected a string"},
      {"access [table] without method, at its header", with_capability("[capabilities.access]\naddress = 1\n"),
       "TOML parse error at line 12, column 1\n"
       "   |\n"
       "12 | [capabilities.access]\n"
       "   | ^^^^^^^^^^^^^^^^^^^^^\n"
       "missing field `method`"},
      {"bounds with min only", with_capability("access = { method = \"platform_profile\" }\nbounds = { min = 0 }\n"),
       "TOML parse error at line 13, column 10\n"
       "   |\n"
       "13 | bounds = { min = 0 }\n"
       "   |          ^\n"
       "missing field `max`"},
      {"bounds min 0.5 is a float where an integer is wanted",
       with_capability("access = { method = \"platform_profile\" }\nbounds = { min = 0.5, max = 1 }\n"),
       "TOML parse error at line 13, column 18\n"
       "   |\n"
       "13 | bounds = { min = 0.5, max = 1 }\n"
       "   |                  ^^^\n"
       "invalid type: floating point `0.5`, expected i64"},
      {"bounds unknown key", with_capability("access = { method = \"platform_profile\" }\nbounds = { low = 0 }\n"),
       "TOML parse error at line 13, column 12\n"
       "   |\n"
       "13 | bounds = { low = 0 }\n"
       "   |            ^^^\n"
       "unknown field `low`, expected `min` or `max`"},
      {"bounds not a table", with_capability("access = { method = \"platform_profile\" }\nbounds = \"0-2\"\n"),
       "TOML parse error at line 13, column 10\n"
       "   |\n"
       "13 | bounds = \"0-2\"\n"
       "   |          ^^^^^\n"
       "invalid type: string \"0-2\", expected struct Bounds"},
      {"bounds from dotted keys missing max, at the dotted key",
       with_capability("access = { method = \"platform_profile\" }\nbounds.min = 0\n"),
       "TOML parse error at line 13, column 1\n"
       "   |\n"
       "13 | bounds.min = 0\n"
       "   | ^^^^^^\n"
       "missing field `max`"},
      {"bounds [table] missing max, at its header",
       with_capability("access = { method = \"platform_profile\" }\n[capabilities.bounds]\nmin = 0\n"),
       "TOML parse error at line 13, column 1\n"
       "   |\n"
       "13 | [capabilities.bounds]\n"
       "   | ^^^^^^^^^^^^^^^^^^^^^\n"
       "missing field `max`"},
      {"mtm as one string instead of an array",
       "schema_version = 1\nid = \"t14\"\ndisplay_name = \"T14\"\nscope = \"model\"\n[matches]\nmtm = \"20XW\"\n",
       "TOML parse error at line 6, column 7\n"
       "  |\n"
       "6 | mtm = \"20XW\"\n"
       "  |       ^^^^^^\n"
       "invalid type: string \"20XW\", expected a sequence"},
      {"mtm element not a string",
       "schema_version = 1\nid = \"t14\"\ndisplay_name = \"T14\"\nscope = \"model\"\n[matches]\nmtm = [\"20XW\", 20]\n",
       "TOML parse error at line 6, column 16\n"
       "  |\n"
       "6 | mtm = [\"20XW\", 20]\n"
       "  |                ^^\n"
       "invalid type: integer `20`, expected a string"},
      {"unknown key in matches",
       "schema_version = 1\nid = \"t14\"\ndisplay_name = \"T14\"\nscope = \"model\"\n[matches]\nmodel = \"x\"\n",
       "TOML parse error at line 6, column 1\n"
       "  |\n"
       "6 | model = \"x\"\n"
       "  | ^^^^^\n"
       "unknown field `model`, expected `mtm` or `version_contains`"},
      {"validated_on as a bare date is a map",
       with_capability("access = { method = \"platform_profile\" }\nvalidated_on = 2024-01-01\n"),
       "TOML parse error at line 13, column 16\n"
       "   |\n"
       "13 | validated_on = 2024-01-01\n"
       "   |                ^^^^^^^^^^\n"
       "invalid type: map, expected a string"},
      {"no [matches]", "schema_version = 1\nid = \"t14\"\ndisplay_name = \"T14\"\nscope = \"model\"\n",
       "TOML parse error at line 1, column 1\n"
       "  |\n"
       "1 | schema_version = 1\n"
       "  | ^\n"
       "missing field `matches`"},
      {"several missing keys: the first in declaration order", "# nothing but\nscope = \"model\"\n[matches]\n",
       "TOML parse error at line 1, column 1\n"
       "  |\n"
       "1 | # nothing but\n"
       "  | ^\n"
       "missing field `schema_version`"},
      {"empty text", "",
       "TOML parse error at line 1, column 1\n"
       "  |\n"
       "1 | \n"
       "  | ^\n"
       "missing field `schema_version`"},
      {"unknown key reported before a missing one", "id = \"t14\"\nlabel = 1\n",
       "TOML parse error at line 2, column 1\n"
       "  |\n"
       "2 | label = 1\n"
       "  | ^^^^^\n"
       "unknown field `label`, expected one of `schema_version`, `id`, `display_name`, `scope`, `matches`, "
       "`capabilities`"},
      {"first error in document order although keys sort otherwise", "zz = 1\nschema_version = \"1\"\n",
       "TOML parse error at line 1, column 1\n"
       "  |\n"
       "1 | zz = 1\n"
       "  | ^^\n"
       "unknown field `zz`, expected one of `schema_version`, `id`, `display_name`, `scope`, `matches`, "
       "`capabilities`"},
      {"capability missing label, at its [[header]]",
       with_head("[[capabilities]]\nid = \"fan\"\nconfidence = \"assumed\"\nsources = [\"manual\"]\n"
                 "access = { method = \"platform_profile\" }\n"),
       "TOML parse error at line 7, column 1\n"
       "  |\n"
       "7 | [[capabilities]]\n"
       "  | ^^^^^^^^^^^^^^^^\n"
       "missing field `label`"},
      {"second capability's error after the first passed",
       with_capability("access = { method = \"platform_profile\" }\n[[capabilities]]\nid = 2\n"),
       "TOML parse error at line 14, column 6\n"
       "   |\n"
       "14 | id = 2\n"
       "   |      ^\n"
       "invalid type: integer `2`, expected a string"},
      {"matches given as an integer", "schema_version = 1\nmatches = 5\n",
       "TOML parse error at line 2, column 11\n"
       "  |\n"
       "2 | matches = 5\n"
       "  |           ^\n"
       "invalid type: integer `5`, expected struct Matches"},
      {"capabilities element not a table",
       "schema_version = 1\nid = \"t14\"\ndisplay_name = \"T14\"\nscope = \"model\"\ncapabilities = [1]\n[matches]\n",
       "TOML parse error at line 5, column 17\n"
       "  |\n"
       "5 | capabilities = [1]\n"
       "  |                 ^\n"
       "invalid type: integer `1`, expected struct Capability"},
      {"capabilities as a [table]", with_head("[capabilities]\n"),
       "TOML parse error at line 7, column 1\n"
       "  |\n"
       "7 | [capabilities]\n"
       "  | ^^^^^^^^^^^^^^\n"
       "invalid type: map, expected a sequence"},
      {"scope given an integer", "scope = 1\n",
       "TOML parse error at line 1, column 9\n"
       "  |\n"
       "1 | scope = 1\n"
       "  |         ^\n"
       "wanted string or table"},
      {"scope given a date", "scope = 07:32\n",
       "TOML parse error at line 1, column 9\n"
       "  |\n"
       "1 | scope = 07:32\n"
       "  |         ^^^^^\n"
       "wanted string or table"},
      {"scope given a table", "scope = { model = true }\n",
       "TOML parse error at line 1, column 9\n"
       "  |\n"
       "1 | scope = { model = true }\n"
       "  |         ^^^^^^^^^^^^^^^^\n"
       "invalid type: map, expected enum ProfileScope"},
      {"confidence given a table", with_head("[[capabilities]]\nconfidence = {}\n"),
       "TOML parse error at line 8, column 14\n"
       "  |\n"
       "8 | confidence = {}\n"
       "  |              ^^\n"
       "invalid type: map, expected enum Confidence"},
      {"confidence given an array", with_head("[[capabilities]]\nconfidence = [\"assumed\"]\n"),
       "TOML parse error at line 8, column 14\n"
       "  |\n"
       "8 | confidence = [\"assumed\"]\n"
       "  |              ^^^^^^^^^^^\n"
       "wanted string or table"},
      {"string with escapes quoted back escaped", "schema_version = \"a\\\"b\\n\\u0001\\té\"\n",
       "TOML parse error at line 1, column 18\n"
       "  |\n"
       "1 | schema_version = \"a\\\"b\\n\\u0001\\té\"\n"
       "  |                  ^^^^^^^^^^^^^^^^^\n"
       "invalid type: string \"a\\\"b\\n\\u{1}\\té\", expected u32"},
      {"float in exponent notation described in fixed notation", "schema_version = 1e3\n",
       "TOML parse error at line 1, column 18\n"
       "  |\n"
       "1 | schema_version = 1e3\n"
       "  |                  ^^^\n"
       "invalid type: floating point `1000.0`, expected u32"},
      {"nan described as NaN", "schema_version = -nan\n",
       "TOML parse error at line 1, column 18\n"
       "  |\n"
       "1 | schema_version = -nan\n"
       "  |                  ^^^^\n"
       "invalid type: floating point `NaN`, expected u32"},
      {"boolean", "id = true\n",
       "TOML parse error at line 1, column 6\n"
       "  |\n"
       "1 | id = true\n"
       "  |      ^^^^\n"
       "invalid type: boolean `true`, expected a string"},
      {"offset date-time described as a map", "id = 1979-05-27T07:32:00Z\n",
       "TOML parse error at line 1, column 6\n"
       "  |\n"
       "1 | id = 1979-05-27T07:32:00Z\n"
       "  |      ^^^^^^^^^^^^^^^^^^^^\n"
       "invalid type: map, expected a string"},
      {"array spanning lines: carets stop at the line end", "display_name = [\"a\",\n  \"b\"]\n",
       "TOML parse error at line 1, column 16\n"
       "  |\n"
       "1 | display_name = [\"a\",\n"
       "  |                ^^^^^\n"
       "invalid type: sequence, expected a string"},
      {"header table where a string is wanted", "[id]\n",
       "TOML parse error at line 1, column 1\n"
       "  |\n"
       "1 | [id]\n"
       "  | ^^^^\n"
       "invalid type: map, expected a string"},
      {"quoted unknown key, quotes included", "\"label\" = 1\n",
       "TOML parse error at line 1, column 1\n"
       "  |\n"
       "1 | \"label\" = 1\n"
       "  | ^^^^^^^\n"
       "unknown field `label`, expected one of `schema_version`, `id`, `display_name`, `scope`, `matches`, "
       "`capabilities`"},
      {"accents before the offending column count as one column each",
       with_capability("access = { method = \"acpi\", path = \"\\\\_SB.ÉCLAIRAGE\", \"étiquette\" = \"Rétro\" }\n"),
       "TOML parse error at line 12, column 55\n"
       "   |\n"
       "12 | access = { method = \"acpi\", path = \"\\\\_SB.ÉCLAIRAGE\", \"étiquette\" = \"Rétro\" }\n"
       "   |                                                       ^^^^^^^^^^^\n"
       "unknown field `étiquette`, expected `path`"},
      {"wrong type after accents on the same line",
       "matches = { version_contains = [\"Écran étoilé\"], mtm = \"20XW\" }\n",
       "TOML parse error at line 1, column 56\n"
       "  |\n"
       "1 | matches = { version_contains = [\"Écran étoilé\"], mtm = \"20XW\" }\n"
       "  |                                                        ^^^^^^\n"
       "invalid type: string \"20XW\", expected a sequence"},
      {"wrong type on the line after accents", "display_name = \"Écran étoilé\" # é\nid = 5\n",
       "TOML parse error at line 2, column 6\n"
       "  |\n"
       "2 | id = 5\n"
       "  |      ^\n"
       "invalid type: integer `5`, expected a string"},
      {"byte order mark does not count as a column", "\xEF\xBB\xBFid = 5\r\n",
       "TOML parse error at line 1, column 6\n"
       "  |\n"
       "1 | id = 5\n"
       "  |      ^\n"
       "invalid type: integer `5`, expected a string"},
  };
  for (const auto& c : cases) EXPECT_EQ(report_of(c.text), c.expected) << c.name;
}

TEST(MapProfileToml, ReportsSyntaxErrorsInTheSameLayout) {
  struct Case {
    std::string_view name;
    std::string text;
    std::string_view expected;
  };
  const Case cases[] = {
      {"the same key twice in one capability",
       with_head("[[capabilities]]\nid = \"fan\"\nlabel = \"Fan\"\nid = \"fan2\"\n"),
       "TOML parse error at line 10, column 6\n"
       "   |\n"
       "10 | id = \"fan2\"\n"
       "   |      ^\n"
       "Error while parsing key-value pair: cannot redefine existing string 'id'"},
      {"lone [ at the end", "schema_version = 1\n[",
       "TOML parse error at line 2, column 2\n"
       "  |\n"
       "2 | [\n"
       "  |  ^\n"
       "Error while parsing table header: encountered end-of-file"},
      {"lone [ before a line feed", "[\n",
       "TOML parse error at line 1, column 2\n"
       "  |\n"
       "1 | [\n"
       "  |  ^\n"
       "Error while parsing key: expected bare key starting character or string delimiter, saw '\\n'"},
      {"column counts characters after accents", "id = \"éèà\" x\n",
       "TOML parse error at line 1, column 12\n"
       "  |\n"
       "1 | id = \"éèà\" x\n"
       "  |            ^\n"
       "Error while parsing key-value pair: expected a comment or whitespace, saw 'x'"},
      {"syntax error wins over an earlier schema error", "label = 1\nid = 01\n",
       "TOML parse error at line 2, column 8\n"
       "  |\n"
       "2 | id = 01\n"
       "  |        ^\n"
       "Error while parsing decimal integer: leading zeroes are prohibited"},
      {"hexadecimal float is not TOML 1.1", "schema_version = 0x1p0\n",
       "TOML parse error at line 1, column 18\n"
       "  |\n"
       "1 | schema_version = 0x1p0\n"
       "  |                  ^\n"
       "Error while parsing floating-point: hexadecimal floating-point values are not supported in TOML 1.1.0"},
      {"plus in a bare key is not TOML 1.1", "a+b = 1\n",
       "TOML parse error at line 1, column 1\n"
       "  |\n"
       "1 | a+b = 1\n"
       "  | ^\n"
       "Error while parsing key: bare keys may contain only ASCII letters, ASCII digits, '-' and '_'"},
      {"the first of several non-1.1 places", "z = 1\n[t]\n\"é\" = 2\nb = 0x1p1\nü = 1\n",
       "TOML parse error at line 4, column 5\n"
       "  |\n"
       "4 | b = 0x1p1\n"
       "  |     ^\n"
       "Error while parsing floating-point: hexadecimal floating-point values are not supported in TOML 1.1.0"},
  };
  for (const auto& c : cases) EXPECT_EQ(report_of(c.text), c.expected) << c.name;
}

// A document nested beyond what the TOML library and the walks over its
// tree can take is a positioned error found before the library reads it:
// a key's parts count, whatever characters they are made of, and so do the
// header above it and the arrays and inline tables around it. Dots in
// strings and comments are text.
TEST(MapProfileToml, RefusesDocumentsNestedTooDeep) {
  const auto repeat = [](std::size_t times, std::string_view part, std::string_view between = "") {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) (out += i ? between : "") += part;
    return out;
  };
  const auto report_at = [](std::size_t line, std::size_t column, const std::string& source_line,
                            std::string_view message) {
    const std::string number = std::to_string(line);
    const std::string gutter(number.size(), ' ');
    return "TOML parse error at line " + number + ", column " + std::to_string(column) + "\n" + gutter + " |\n" +
           number + " | " + source_line + "\n" + gutter + " | " + std::string(column - 1, ' ') + "^\n" +
           std::string(message);
  };
  constexpr std::string_view KEY = "Error while parsing key: a dotted key or table name may have at most 256 parts";
  constexpr std::string_view NESTING =
      "Error while parsing value: tables and arrays may nest at most 256 levels deep, counting the parts of their "
      "keys";
  const std::string key = repeat(257, "a", ".");
  const std::string spaced = repeat(257, "\"b.c\"", " . ");
  const std::string literal = repeat(257, "'x'", ".");
  const std::string accented = repeat(257, "\u00E9", ".");
  const std::string plus = repeat(257, "+", ".");
  // x (1) and { (1), then a (1) and { (1) for each table: a key in the 127th
  // is at level 257. x (1) and [ (1), then { (1), a (1) and [ (1) for each
  // array: the 85th bracket is at level 257.
  const std::string inline_tables = "x = {" + repeat(127, "a = {");
  const std::string arrays_of_tables = "x = [" + repeat(85, "{a = [");
  struct Case {
    std::string_view name;
    std::string text;
    std::string expected;
  };
  const Case cases[] = {
      {"a key", "schema_version = 1\n" + key + " = 1\n", report_at(2, 1, key + " = 1", KEY)},
      {"a table header", "# " + key + "\n[" + key + "]\n", report_at(2, 2, "[" + key + "]", KEY)},
      {"quoted parts with spaces around the dots", "x = { " + spaced + " = 1 }\n",
       report_at(1, 7, "x = { " + spaced + " = 1 }", KEY)},
      {"after a multi-line string and a byte-order mark",
       "\xEF\xBB\xBFnote = \"\"\"\n" + key + "\n\"\"\"\n\t" + literal + " = 2\n",
       report_at(4, 2, "\t" + literal + " = 2", KEY)},
      {"parts that are not ASCII, columns counted in characters", "\u00E9 = 1 # " + key + "\n" + accented + " = 1\n",
       report_at(2, 1, accented + " = 1", KEY)},
      {"parts the library takes beyond TOML 1.1", "[t]\n" + plus + " = 1\n", report_at(2, 1, plus + " = 1", KEY)},
      {"a header and a key, each short enough", "[" + repeat(200, "h", ".") + "]\n" + repeat(57, "k", ".") + " = 1\n",
       report_at(2, 1, repeat(57, "k", ".") + " = 1", NESTING)},
      {"inline tables inside each other", inline_tables + "b = 1}\n",
       report_at(1, inline_tables.size() + 1, inline_tables + "b = 1}", NESTING)},
      {"arrays of inline tables", "y = 1\n" + arrays_of_tables + "\n",
       report_at(2, arrays_of_tables.size(), arrays_of_tables, NESTING)},
  };
  for (const Case& c : cases) EXPECT_EQ(report_of(c.text), c.expected) << c.name;

  // As deep as allowed, or dots that are no keys: the library reads them,
  // and the first key is then unknown to the schema.
  const std::string allowed[] = {
      "[" + repeat(256, "a", ".") + "]\n",
      "x = " + repeat(255, "[") + repeat(255, "]") + "\n",
      "x = {" + repeat(127, "a = {") + repeat(128, "}") + "\n",
      "x = [" + repeat(84, "{a = [") + "{a = 1}" + repeat(84, "]}") + "]\n",
      "[" + repeat(255, "h", ".") + "]\nk = 1\n",
      "id = \"" + key + "\"\n",
      "id = '" + key + "'\n# " + key + "\n",
      "id = \"\"\"\\\"\"\"\"" + key + "\"\"\"\n",
      "x = [" + repeat(300, "1.5", ", ") + "]\n",
  };
  for (const std::string& text : allowed) {
    const std::string report = report_of(text);
    EXPECT_EQ(report.find("256"), std::string::npos) << text.substr(0, 40) << "\n" << report.substr(0, 300);
  }
}

}  // namespace
}  // namespace ostrane
