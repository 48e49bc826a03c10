#include "src/backlight/keyboard_json.h"

#include "src/common/utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace ostrane {
namespace {

constexpr std::string_view SCRIPT_OUTPUT =
    R"({"available":true,"known":true,"level":1,"max_level":2,"source":"thinkpad-pm","applied":false,"verified":false,"reason":""})";

const KeyboardJson THINKPAD{.available = true,
                            .known = true,
                            .level = 1,
                            .max_level = 2,
                            .source = "thinkpad-pm",
                            .applied = false,
                            .reason = ""};

using Members = std::vector<std::pair<std::string, std::string>>;

// The script's own output, member by member, in its order.
const Members SCRIPT_MEMBERS{{"available", "true"},   {"known", "true"},    {"level", "1"},
                             {"max_level", "2"},      {"source", "\"thinkpad-pm\""}, {"applied", "false"},
                             {"verified", "false"},   {"reason", "\"\""}};

std::string json_of(const Members& members) {
  std::string text = "{";
  for (const auto& [name, value] : members) {
    if (text.size() > 1) text += ',';
    text += '"' + name + "\":" + value;
  }
  return text + "}";
}

std::string with_member(std::string_view name, std::string_view value) {
  Members members = SCRIPT_MEMBERS;
  for (auto& member : members) {
    if (member.first == name) member.second = value;
  }
  return json_of(members);
}

std::string without_member(std::string_view name) {
  Members members = SCRIPT_MEMBERS;
  std::erase_if(members, [&](const auto& member) { return member.first == name; });
  return json_of(members);
}

struct Readable {
  std::string name;
  std::string text;
  KeyboardJson expected;
};

class ReadableAnswer : public testing::TestWithParam<Readable> {};

TEST_P(ReadableAnswer, Parses) {
  const auto parsed = parse_keyboard_json(GetParam().text);
  ASSERT_TRUE(parsed.has_value()) << parsed.error();
  EXPECT_EQ(*parsed, GetParam().expected);
}

KeyboardJson thinkpad_with(void (*change)(KeyboardJson&)) {
  KeyboardJson json = THINKPAD;
  change(json);
  return json;
}

INSTANTIATE_TEST_SUITE_P(
    KeyboardJson, ReadableAnswer,
    testing::Values(
        Readable{"ScriptOutputWithVerified", std::string(SCRIPT_OUTPUT), THINKPAD},
        Readable{"WithoutVerified",
                 R"({"applied":false,"available":true,"known":true,"level":1,"max_level":2,"reason":"","source":"thinkpad-pm"})",
                 THINKPAD},
        Readable{"ServiceResponseWithLineFeed",
                 "{\"applied\":true,\"available\":true,\"known\":true,\"level\":1,\"max_level\":2,\"reason\":\"\","
                 "\"source\":\"thinkpad-pm\"}\n",
                 thinkpad_with([](KeyboardJson& j) { j.applied = true; })},
        Readable{"UnicodeWhiteSpaceAround", "\xC2\xA0\t\r\n " + std::string(SCRIPT_OUTPUT) + "\xE3\x80\x80\r\n",
                 THINKPAD},
        Readable{"LevelBounds", with_member("max_level", "255"),
                 thinkpad_with([](KeyboardJson& j) { j.max_level = 255; })},
        Readable{"MinusZeroIsZero", with_member("level", "-0"), thinkpad_with([](KeyboardJson& j) { j.level = 0; })},
        Readable{"EscapedReason", with_member("reason", R"("caf\u00e9 \"x\"")"),
                 thinkpad_with([](KeyboardJson& j) { j.reason = "caf\xC3\xA9 \"x\""; })},
        Readable{"ReasonOfSpaces", with_member("reason", R"("   ")"),
                 thinkpad_with([](KeyboardJson& j) { j.reason = "   "; })},
        // Unknown members are skipped whole, even when they hold known names.
        Readable{"NestedKnownNamesIgnored",
                 R"({"extra":{"level":999,"available":"x","reason":[1]},"x":[{"level":-5}],)" +
                     std::string(SCRIPT_OUTPUT.substr(1)),
                 THINKPAD},
        // The JSON text standard lets a reader skip a byte-order mark, which
        // a .NET console writer may put before the first line.
        Readable{"ByteOrderMark", "\xEF\xBB\xBF" + std::string(SCRIPT_OUTPUT), THINKPAD},
        Readable{"UnknownMemberTwice", R"({"verified":true,"verified":1,)" + std::string(SCRIPT_OUTPUT.substr(1)),
                 THINKPAD}),
    [](const auto& test) { return test.param.name; });

struct Unreadable {
  std::string name;
  std::string text;
  std::string error;  // the whole description, or its start for the parser's own
  bool exact = true;
};

class UnreadableAnswer : public testing::TestWithParam<Unreadable> {};

TEST_P(UnreadableAnswer, IsAnError) {
  const auto parsed = parse_keyboard_json(GetParam().text);
  ASSERT_FALSE(parsed.has_value());
  if (GetParam().exact) {
    EXPECT_EQ(parsed.error(), GetParam().error);
  } else {
    EXPECT_TRUE(parsed.error().starts_with(GetParam().error)) << parsed.error();
  }
}

INSTANTIATE_TEST_SUITE_P(
    KeyboardJson, UnreadableAnswer,
    testing::Values(
        Unreadable{"MissingReason", without_member("reason"), "membre manquant : reason"},
        Unreadable{"MissingKnown", without_member("known"), "membre manquant : known"},
        Unreadable{"EmptyObject", "{}", "membre manquant : available"},
        Unreadable{"LevelAbove255", with_member("level", "300"),
                   "entier de 0 à 255 attendu pour le membre : level"},
        Unreadable{"LevelNegative", with_member("level", "-1"), "entier de 0 à 255 attendu pour le membre : level"},
        Unreadable{"MaxLevelFraction", with_member("max_level", "1.5"),
                   "entier de 0 à 255 attendu pour le membre : max_level"},
        Unreadable{"LevelWholeFloat", with_member("level", "1.0"), "entier de 0 à 255 attendu pour le membre : level"},
        Unreadable{"LevelExponent", with_member("level", "1e0"), "entier de 0 à 255 attendu pour le membre : level"},
        Unreadable{"LevelBeyond64Bits", with_member("level", "18446744073709551616"),
                   "entier de 0 à 255 attendu pour le membre : level"},
        Unreadable{"LevelAsText", with_member("level", R"("1")"),
                   "entier de 0 à 255 attendu pour le membre : level"},
        Unreadable{"AvailableAsText", with_member("available", R"("true")"),
                   "booléen attendu pour le membre : available"},
        Unreadable{"AppliedNull", with_member("applied", "null"), "booléen attendu pour le membre : applied"},
        Unreadable{"SourceNumber", with_member("source", "3"), "texte attendu pour le membre : source"},
        Unreadable{"ReasonObject", with_member("reason", "{}"), "texte attendu pour le membre : reason"},
        Unreadable{"DuplicateLevel", R"({"level":0,)" + std::string(SCRIPT_OUTPUT.substr(1)),
                   "membre en double : level"},
        Unreadable{"Array", "[" + std::string(SCRIPT_OUTPUT) + "]", "objet JSON attendu"},
        Unreadable{"Number", "5", "objet JSON attendu"},
        Unreadable{"WarningLineBefore", "AVERTISSEMENT : module lent\r\n" + std::string(SCRIPT_OUTPUT),
                   "parse error at line 1, column 1:", false},
        Unreadable{"TextAfter", std::string(SCRIPT_OUTPUT) + "\nfini", "parse error at line 2, column 2: syntax error", false},
        Unreadable{"TwoObjects", std::string(SCRIPT_OUTPUT) + std::string(SCRIPT_OUTPUT), "parse error", false},
        Unreadable{"NulThenText", std::string(SCRIPT_OUTPUT) + std::string("\0fini", 5),
                   "parse error at line 1, column " + std::to_string(SCRIPT_OUTPUT.size() + 1) + ": syntax error", false},
        Unreadable{"Empty", "", "parse error at line 1, column 1:", false},
        Unreadable{"Blank", " \r\n\xC2\xA0", "parse error at line 1, column 1:", false},
        Unreadable{"CutShort", std::string(SCRIPT_OUTPUT.substr(0, 40)), "parse error", false},
        Unreadable{"ReplacementCharacterOutsideStrings", "\xEF\xBF\xBD" + std::string(SCRIPT_OUTPUT),
                   "parse error at line 1, column 2: syntax error", false}),
    [](const auto& test) { return test.param.name; });

// The parser's description names where it stopped, which the message keeps.
TEST(KeyboardJson, SyntaxErrorKeepsThePosition) {
  const auto parsed = parse_keyboard_json("{\n  \"available\": tru }");
  ASSERT_FALSE(parsed.has_value());
  EXPECT_NE(parsed.error().find("line 2"), std::string::npos) << parsed.error();
  EXPECT_EQ(parsed.error().find("json.exception"), std::string::npos) << parsed.error();
}

// "last read: 'tru\xC3'": the quoted bytes stop inside the "é".
TEST(KeyboardJson, DescriptionStaysUtf8WhenTheErrorCutsACharacter) {
  const auto parsed = parse_keyboard_json("{\"available\":tru\xC3\xA9}");
  ASSERT_FALSE(parsed.has_value());
  EXPECT_TRUE(is_valid_utf8(parsed.error())) << parsed.error();
  EXPECT_NE(parsed.error().find("tru\xEF\xBF\xBD"), std::string::npos) << parsed.error();
}

}  // namespace
}  // namespace ostrane
