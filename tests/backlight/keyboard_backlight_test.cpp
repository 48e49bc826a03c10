#include "src/backlight/keyboard_backlight.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace ostrane {
namespace {

struct Answer {
  bool available = true;
  bool known = true;
  int level = 1;
  int max_level = 2;
  std::string source = "hid";
  bool applied = true;
  std::string reason;
};

std::string text_of(const Answer& a) {
  auto flag = [](bool b) { return b ? std::string("true") : std::string("false"); };
  return "{\"available\":" + flag(a.available) + ",\"known\":" + flag(a.known) +
         ",\"level\":" + std::to_string(a.level) + ",\"max_level\":" + std::to_string(a.max_level) +
         ",\"source\":\"" + a.source + "\",\"applied\":" + flag(a.applied) + ",\"verified\":false,\"reason\":\"" +
         a.reason + "\"}";
}

struct Case {
  std::string name;
  Answer answer;
  std::string_view mode;
  std::optional<KeyboardState> state;  // or the error below
  HalError error{};
};

class Interpretation : public testing::TestWithParam<Case> {};

TEST_P(Interpretation, GivesStateOrError) {
  const auto& c = GetParam();
  const auto result = interpret_keyboard_json(text_of(c.answer), c.mode);
  if (c.state) {
    ASSERT_TRUE(result.has_value()) << display(result.error());
    EXPECT_EQ(*result, *c.state);
  } else {
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), c.error);
  }
}

using S = BacklightSource;
INSTANTIATE_TEST_SUITE_P(
    Answers, Interpretation,
    testing::Values(
        Case{"LevelAndMaximumAboveTwo", {.level = 5, .max_level = 9}, MODE_READ, KeyboardState{true, S::Hid, 2, 2}},
        Case{"MaximumZeroMeansOne", {.level = 3, .max_level = 0}, MODE_READ, KeyboardState{true, S::Hid, 1, 1}},
        Case{"LevelAboveMaximumOne", {.level = 2, .max_level = 1}, MODE_READ, KeyboardState{true, S::Hid, 1, 1}},
        Case{"UnknownLevelPassedOn", {.known = false, .level = 0}, MODE_READ, KeyboardState{false, S::Hid, 0, 2}},
        Case{"LenovoWmiSource", {.source = "lenovo-wmi"}, MODE_READ, KeyboardState{true, S::LenovoWmi, 1, 2}},
        Case{"ThinkpadSource", {.source = "thinkpad-pm"}, MODE_WRITE, KeyboardState{true, S::ThinkpadPm, 1, 2}},
        Case{"FrameworkSource", {.source = "framework"}, MODE_READ, KeyboardState{true, S::Framework, 1, 2}},
        Case{"ReadNotAppliedSucceeds", {.applied = false}, MODE_READ, KeyboardState{true, S::Hid, 1, 2}},
        Case{"ReasonOnSuccessDropped", {.reason = "lecture de confirmation differente"}, MODE_WRITE,
             KeyboardState{true, S::Hid, 1, 2}},
        Case{"WriteNotApplied", {.applied = false}, MODE_WRITE, std::nullopt,
             HalError::unavailable("la commande de rétroéclairage n'a pas été appliquée")},
        Case{"WriteNotAppliedWithReason", {.applied = false, .reason = "niveau hors limites"}, MODE_WRITE,
             std::nullopt, HalError::unavailable("niveau hors limites")},
        // Only "write" is a write.
        Case{"OtherModeIsNoWrite", {.applied = false}, "WRITE", KeyboardState{true, S::Hid, 1, 2}},
        Case{"NotAvailable", {.available = false, .source = ""}, MODE_WRITE, std::nullopt,
             HalError::unavailable("aucune interface de rétroéclairage clavier détectée")},
        Case{"NotAvailableWithReason",
             {.available = false, .applied = false, .reason = "aucune interface de retroeclairage clavier detectee"},
             MODE_WRITE, std::nullopt, HalError::unavailable("aucune interface de retroeclairage clavier detectee")},
        Case{"ReasonOfSpacesIsAReason", {.available = false, .reason = "   "}, MODE_READ, std::nullopt,
             HalError::unavailable("   ")},
        Case{"EmptySource", {.source = ""}, MODE_READ, std::nullopt,
             HalError::invalid_data("source de rétroéclairage inconnue : ")},
        Case{"SourceInCapitals", {.source = "HID"}, MODE_READ, std::nullopt,
             HalError::invalid_data("source de rétroéclairage inconnue : HID")},
        Case{"OutOfRangeLevelIsNotClamped", {.level = 300}, MODE_READ, std::nullopt,
             HalError::invalid_data(
                 "réponse de rétroéclairage illisible : entier de 0 à 255 attendu pour le membre : level")}),
    [](const auto& test) { return test.param.name; });

TEST(Interpretation, ServiceFailureResponseGetsThePrefixOnceMore) {
  const auto result = interpret_keyboard_json(
      R"({"applied":false,"available":false,"known":false,"level":0,"max_level":0,)"
      R"("reason":"ressource non disponible : aucune interface de rétroéclairage clavier détectée","source":""})",
      MODE_READ);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(display(result.error()),
            "ressource non disponible : ressource non disponible : aucune interface de rétroéclairage clavier "
            "détectée");
}

TEST(Request, Texts) {
  EXPECT_EQ(keyboard_request(MODE_READ, 0), "{\"op\":\"keyboard_read\"}\n");
  EXPECT_EQ(keyboard_request(MODE_READ, 0).size(), 23u);
  EXPECT_EQ(keyboard_request(MODE_READ, 2), "{\"op\":\"keyboard_read\"}\n");
  EXPECT_EQ(keyboard_request(MODE_WRITE, 0), "{\"op\":\"keyboard_write\",\"level\":0}\n");
  EXPECT_EQ(keyboard_request(MODE_WRITE, 2), "{\"op\":\"keyboard_write\",\"level\":2}\n");
}

// Records what each channel was asked and answers as told.
struct FakeChannels {
  PipeExchange pipe{};
  std::expected<std::string, HalError> script = std::string();
  std::vector<std::string> requests;
  std::vector<std::pair<std::string, unsigned>> script_runs;

  BacklightChannels channels() {
    return {[this](std::string_view request) {
              requests.emplace_back(request);
              return pipe;
            },
            [this](std::string_view mode, unsigned level) {
              script_runs.emplace_back(mode, level);
              return script;
            }};
  }
};

TEST(RunBacklight, ServiceAnswerIsUsedAndScriptNotRun) {
  FakeChannels fake{.pipe = {PipeExchange::Outcome::Answered, text_of({.level = 2, .source = "framework"})}};
  const auto result = run_backlight(MODE_WRITE, 2, fake.channels());
  ASSERT_TRUE(result.has_value()) << display(result.error());
  EXPECT_EQ(*result, (KeyboardState{true, S::Framework, 2, 2}));
  EXPECT_EQ(fake.requests, std::vector<std::string>{"{\"op\":\"keyboard_write\",\"level\":2}\n"});
  EXPECT_TRUE(fake.script_runs.empty());
}

TEST(RunBacklight, InterruptedExchangeDoesNotFallBack) {
  FakeChannels fake{.pipe = {PipeExchange::Outcome::Interrupted, ""}};
  const auto result = run_backlight(MODE_READ, 0, fake.channels());
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error(), HalError::unavailable("service HAL joignable mais échange interrompu"));
  EXPECT_EQ(fake.requests, std::vector<std::string>{"{\"op\":\"keyboard_read\"}\n"});
  EXPECT_TRUE(fake.script_runs.empty());
}

TEST(RunBacklight, NoServiceRunsTheScript) {
  FakeChannels fake;
  fake.script = text_of({.source = "lenovo-wmi"});
  const auto result = run_backlight(MODE_WRITE, 1, fake.channels());
  ASSERT_TRUE(result.has_value()) << display(result.error());
  EXPECT_EQ(*result, (KeyboardState{true, S::LenovoWmi, 1, 2}));
  EXPECT_EQ(fake.script_runs, (std::vector<std::pair<std::string, unsigned>>{{"write", 1}}));
}

TEST(RunBacklight, ScriptErrorPassesAsItIs) {
  FakeChannels fake;
  fake.script = std::unexpected(HalError::unavailable("commande de rétroéclairage en échec"));
  const auto result = run_backlight(MODE_READ, 0, fake.channels());
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error(), HalError::unavailable("commande de rétroéclairage en échec"));
}

TEST(RunBacklight, InvalidUtf8FromThePipeIsReplaced) {
  FakeChannels fake{.pipe = {PipeExchange::Outcome::Answered, text_of({.available = false, .reason = "a\xFF" "b"})}};
  const auto result = run_backlight(MODE_READ, 0, fake.channels());
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error(), HalError::unavailable("a\xEF\xBF\xBD" "b"));
}

TEST(RunBacklight, AnswerCutByTheReadLimitIsUnreadable) {
  FakeChannels fake{.pipe = {PipeExchange::Outcome::Answered, text_of({}).substr(0, 30)}};
  const auto result = run_backlight(MODE_READ, 0, fake.channels());
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().kind, HalErrorKind::InvalidData);
  EXPECT_TRUE(result.error().message.starts_with("réponse de rétroéclairage illisible : parse error"))
      << result.error().message;
}

TEST(Source, WireNamesRoundTrip) {
  for (const auto source : {S::Hid, S::LenovoWmi, S::ThinkpadPm, S::Framework}) {
    EXPECT_EQ(backlight_source_from_wire(to_wire(source)), source);
  }
  EXPECT_EQ(to_wire(S::LenovoWmi), "lenovo-wmi");
  EXPECT_EQ(to_wire(S::ThinkpadPm), "thinkpad-pm");
  EXPECT_EQ(static_cast<int>(S::Framework), 3);
}

}  // namespace
}  // namespace ostrane
