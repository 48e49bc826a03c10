#include "src/service/pipe_protocol.h"

#include "src/backlight/keyboard_json.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace ostrane {
namespace {

// Records what the request asked of the backlight and answers as told.
struct FakeBacklight {
  std::expected<KeyboardState, HalError> result = KeyboardState{true, BacklightSource::ThinkpadPm, 1, 2};
  std::vector<std::string> calls;

  BacklightOperations operations() {
    return {[this] {
              calls.emplace_back("read");
              return result;
            },
            [this](unsigned level) {
              calls.push_back("write " + std::to_string(level));
              return result;
            }};
  }
};

constexpr std::string_view THINKPAD_LEVEL_1 =
    R"({"applied":true,"available":true,"known":true,"level":1,"max_level":2,"reason":"","source":"thinkpad-pm"})";

std::string failure(std::string_view reason) {
  return R"({"applied":false,"available":false,"known":false,"level":0,"max_level":0,"reason":")" +
         std::string(reason) + R"(","source":""})";
}

struct Case {
  std::string name;
  std::string request;
  std::string response;
  std::vector<std::string> calls;  // what reached the backlight
};

class Request : public testing::TestWithParam<Case> {};

TEST_P(Request, IsAnsweredByteForByte) {
  FakeBacklight backlight;
  EXPECT_EQ(handle_request(GetParam().request, backlight.operations()), GetParam().response);
  EXPECT_EQ(backlight.calls, GetParam().calls);
}

const std::string LEVEL_MISSING = failure("niveau manquant");

std::string write_with(std::string_view level) { return R"({"op":"keyboard_write","level":)" + std::string(level) + "}"; }

std::string cut_inside_a_character() {
  // 4095 bytes, then the first byte of "é": the read limit fell inside it.
  std::string request = R"({"op":"keyboard_read","x":")";
  request.append(4095 - request.size(), 'a');
  return request + "\xC3";
}

INSTANTIATE_TEST_SUITE_P(
    Protocol, Request,
    testing::Values(
        Case{"Read", "{\"op\":\"keyboard_read\"}\n", std::string(THINKPAD_LEVEL_1), {"read"}},
        Case{"WriteTwo", write_with("2"), std::string(THINKPAD_LEVEL_1), {"write 2"}},
        Case{"WriteSevenIsTwo", write_with("7"), std::string(THINKPAD_LEVEL_1), {"write 2"}},
        Case{"WriteLargestInteger", write_with("18446744073709551615"), std::string(THINKPAD_LEVEL_1), {"write 2"}},
        Case{"WriteZero", write_with("0"), std::string(THINKPAD_LEVEL_1), {"write 0"}},
        Case{"OtherMembersIgnored", R"({"level":1,"x":[{"op":"no"}],"op":"keyboard_write","id":"abc"})",
             std::string(THINKPAD_LEVEL_1), {"write 1"}},
        Case{"LevelMinusOne", write_with("-1"), LEVEL_MISSING, {}},
        Case{"LevelMinusZero", write_with("-0"), LEVEL_MISSING, {}},
        Case{"LevelFraction", write_with("1.5"), LEVEL_MISSING, {}},
        Case{"LevelWholeFraction", write_with("1.0"), LEVEL_MISSING, {}},
        Case{"LevelExponent", write_with("1e0"), LEVEL_MISSING, {}},
        Case{"LevelText", write_with("\"1\""), LEVEL_MISSING, {}},
        Case{"LevelTrue", write_with("true"), LEVEL_MISSING, {}},
        Case{"LevelNull", write_with("null"), LEVEL_MISSING, {}},
        Case{"LevelBeyond64Bits", write_with("18446744073709551616"), LEVEL_MISSING, {}},
        Case{"LevelAbsent", R"({"op":"keyboard_write"})", LEVEL_MISSING, {}},
        Case{"EmptyObject", "{}", failure("opération inconnue : "), {}},
        Case{"Array", "[1]", failure("opération inconnue : "), {}},
        Case{"OpNotText", R"({"op":5})", failure("opération inconnue : "), {}},
        Case{"OpInCapitals", R"({"op":"KEYBOARD_READ"})", failure("opération inconnue : KEYBOARD_READ"), {}},
        Case{"OpPadded", R"({"op":" keyboard_read"})", failure("opération inconnue :  keyboard_read"), {}},
        Case{"OpEscaped", R"({"op":"a\"b\\c\u0001\n"})", failure(R"(opération inconnue : a\"b\\c\u0001\n)"), {}},
        Case{"LastOpCounts", R"({"op":"keyboard_write","op":"keyboard_read"})", std::string(THINKPAD_LEVEL_1),
             {"read"}},
        Case{"BlankPadding", " \t\r\n{\"op\":\"keyboard_read\"}\r\n\t ", std::string(THINKPAD_LEVEL_1), {"read"}},
        Case{"NoBreakSpacePadding", "\xC2\xA0{\"op\":\"keyboard_read\"}\xC2\xA0\xE2\x80\xA8",
             std::string(THINKPAD_LEVEL_1), {"read"}}),
    [](const auto& test) { return test.param.name; });

// The parser's own description follows the prefix; only the prefix is ours.
struct Unreadable {
  std::string name;
  std::string request;
  std::string description_start;
};

class UnreadableRequest : public testing::TestWithParam<Unreadable> {};

TEST_P(UnreadableRequest, GetsTheParserDescription) {
  FakeBacklight backlight;
  const std::string response = handle_request(GetParam().request, backlight.operations());
  const std::string start = R"({"applied":false,"available":false,"known":false,"level":0,"max_level":0,"reason":")"
                            "requête illisible : " +
                            GetParam().description_start;
  EXPECT_TRUE(response.starts_with(start)) << response;
  EXPECT_TRUE(response.ends_with(R"(","source":""})")) << response;
  EXPECT_TRUE(backlight.calls.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Protocol, UnreadableRequest,
    testing::Values(Unreadable{"Empty", "", "parse error at line 1, column 1: syntax error while parsing value"},
                    Unreadable{"Blank", " \r\n\xC2\xA0", "parse error at line 1, column 1: syntax error"},
                    Unreadable{"LetterAfter", "{\"op\":\"keyboard_read\"}x", "parse error at line 1, column 23"},
                    Unreadable{"SecondValue", "{\"op\":\"keyboard_read\"}\n{}", "parse error at line 2, column 1"},
                    Unreadable{"CutShort", "{\"op\":\"keyboard_re", "parse error at line 1, column 19: syntax error while parsing value - invalid string"},
                    Unreadable{"ControlCharacterInString", "{\"op\":\"a\x01\"}", "parse error at line 1"},
                    // The JSON library stops at a NUL as at the end of a C
                    // string; what follows must still be seen.
                    Unreadable{"NulAfter", std::string("{\"op\":\"keyboard_read\"}\0{}", 25),
                               "parse error at line 1, column 23: syntax error while parsing value - invalid literal; "
                               R"(last read: '\"keyboard_read\"}<U+0000>'; expected end of input","source")"},
                    Unreadable{"NulAfterBlanks", std::string("{\"op\":\"keyboard_read\"} \n\0", 25),
                               "parse error at line 2, column 1: syntax error while parsing value - invalid literal; "
                               R"(last read: '\"keyboard_read\"} <U+000A><U+0000>'; expected end of input")"},
                    // Only white space may surround the request: a byte-order
                    // mark is refused like the byte it starts with.
                    Unreadable{"ByteOrderMark", "\xEF\xBB\xBF{\"op\":\"keyboard_read\"}\n",
                               "parse error at line 1, column 1: syntax error while parsing value - invalid literal; "
                               "last read: '\xEF\xBF\xBD'\",\"source\""},
                    Unreadable{"ByteOrderMarkAfterBlanks", " \n\xEF\xBB\xBF{\"op\":\"keyboard_read\"}",
                               "parse error at line 1, column 1: syntax error while parsing value - invalid literal; "
                               "last read: '\xEF\xBF\xBD'\",\"source\""}),
    [](const auto& test) { return test.param.name; });

TEST(Protocol, RequestCutInsideACharacterIsNotUtf8) {
  FakeBacklight backlight;
  const std::string request = cut_inside_a_character();
  ASSERT_EQ(request.size(), 4096u);
  EXPECT_EQ(handle_request(request, backlight.operations()), failure("requête non UTF-8"));
  EXPECT_EQ(handle_request("{\"op\":\"keyboard_read\"}\xFF", backlight.operations()), failure("requête non UTF-8"));
  EXPECT_TRUE(backlight.calls.empty());
}

TEST(Protocol, BacklightFailureIsShownWithItsPrefix) {
  FakeBacklight backlight;
  backlight.result = std::unexpected(HalError::unavailable("aucune interface de rétroéclairage clavier détectée"));
  EXPECT_EQ(handle_request(write_with("1"), backlight.operations()),
            failure("ressource non disponible : aucune interface de rétroéclairage clavier détectée"));
  backlight.result = std::unexpected(HalError::invalid_data("source de rétroéclairage inconnue : \"x\""));
  EXPECT_EQ(handle_request("{\"op\":\"keyboard_read\"}", backlight.operations()),
            failure(R"(données invalides : source de rétroéclairage inconnue : \"x\")"));
}

TEST(Protocol, SuccessResponseOfEachSource) {
  EXPECT_EQ(state_response({false, BacklightSource::Hid, 0, 1}),
            R"({"applied":true,"available":true,"known":false,"level":0,"max_level":1,"reason":"","source":"hid"})");
  EXPECT_EQ(state_response({true, BacklightSource::LenovoWmi, 2, 2}),
            R"({"applied":true,"available":true,"known":true,"level":2,"max_level":2,"reason":"","source":"lenovo-wmi"})");
  EXPECT_EQ(state_response({true, BacklightSource::Framework, 0, 2}),
            R"({"applied":true,"available":true,"known":true,"level":0,"max_level":2,"reason":"","source":"framework"})");
}

// Whatever the service answers, its clients read with the reader they use
// for the script.
TEST(Protocol, ResponsesReadBackAsKeyboardJson) {
  FakeBacklight backlight;
  const auto ok = parse_keyboard_json(handle_request("{\"op\":\"keyboard_read\"}", backlight.operations()));
  ASSERT_TRUE(ok.has_value()) << ok.error();
  EXPECT_EQ(*ok, (KeyboardJson{true, true, 1, 2, "thinkpad-pm", true, ""}));
  const auto refused = parse_keyboard_json(handle_request("{\"op\":\"x\\u0000\"}", backlight.operations()));
  ASSERT_TRUE(refused.has_value()) << refused.error();
  EXPECT_EQ(*refused, (KeyboardJson{false, false, 0, 0, "", false, std::string("opération inconnue : x\0", 24)}));
}

}  // namespace
}  // namespace ostrane
