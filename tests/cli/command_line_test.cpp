#include "src/cli/command_line.h"

#include <gtest/gtest.h>

#include <vector>

#include "src/cli/usage.h"

namespace ostrane {
namespace {

CliArgs cli(std::string command, std::string profiles = "profiles", std::optional<std::string> out = {}) {
  return CliArgs{.command = std::move(command), .profiles_dir = std::move(profiles), .out = std::move(out)};
}

CliArgs service(std::string action) { return CliArgs{.command = "service", .service_action = std::move(action)}; }

struct Case {
  std::string_view name;
  std::vector<std::string> args;
  Invocation expected;
};

TEST(ParseCommandLine, DispatchesExactlyAsTheGrammarSays) {
  const Case cases[] = {
      {"no argument", {}, ShowHelp{ExitStatus::UsageError}},
      {"-h", {"-h"}, ShowHelp{ExitStatus::Success}},
      {"--help with words", {"--help", "detect", "--bogus"}, ShowHelp{ExitStatus::Success}},
      {"--service ignores the rest", {"--service", "install"}, RunAction{Action::ServiceHost, cli("--service")}},
      {"detect defaults", {"detect"}, RunAction{Action::Detect, cli("detect")}},
      {"profiles defaults", {"profiles"}, RunAction{Action::Profiles, cli("profiles")}},
      {"detect with both options", {"detect", "--out", "r.json", "--profiles", "D"},
       RunAction{Action::Detect, cli("detect", "D", "r.json")}},
      {"last --profiles wins", {"profiles", "--profiles", "a", "--profiles", "b"},
       RunAction{Action::Profiles, cli("profiles", "b")}},
      {"a value may look like an option", {"detect", "--out", "--profiles"},
       RunAction{Action::Detect, cli("detect", "profiles", "--profiles")}},
      {"profiles accepts --out", {"profiles", "--out", "l.json"},
       RunAction{Action::Profiles, cli("profiles", "profiles", "l.json")}},
      {"empty values are kept", {"detect", "--profiles", "", "--out", ""},
       RunAction{Action::Detect, cli("detect", "", "")}},
      {"service install", {"service", "install"}, RunAction{Action::ServiceInstall, service("install")}},
      {"service install ignores options", {"service", "install", "--out", "F"},
       RunAction{Action::ServiceInstall, service("install")}},
      {"service uninstall", {"service", "uninstall"}, RunAction{Action::ServiceUninstall, service("uninstall")}},
      {"service alone", {"service"}, UsageProblem{usage_error_text(MSG_MISSING_SERVICE_ACTION)}},
      {"service start", {"service", "start"}, UsageProblem{unknown_service_action_text()}},
      {"service Install", {"service", "Install"}, UsageProblem{unknown_service_action_text()}},
      {"detect -h", {"detect", "-h"}, UsageProblem{usage_error_text(msg_missing_value("-h"))}},
      {"detect --service last", {"detect", "--service"},
       UsageProblem{usage_error_text(msg_missing_value("--service"))}},
      {"detect --service install", {"detect", "--service", "install"},
       UsageProblem{usage_error_text(msg_unknown_option("--service"))}},
      {"detect --out", {"detect", "--out"}, UsageProblem{usage_error_text(msg_missing_value("--out"))}},
      {"no equals form", {"detect", "--out=x", "y"}, UsageProblem{usage_error_text(msg_unknown_option("--out=x"))}},
      {"options are case-sensitive", {"detect", "--OUT", "x"},
       UsageProblem{usage_error_text(msg_unknown_option("--OUT"))}},
      {"unknown command", {"install"}, UsageProblem{unknown_command_text("install")}},
      {"command case matters", {"Detect"}, UsageProblem{unknown_command_text("Detect")}},
      {"unknown command, options first", {"install", "--out"},
       UsageProblem{usage_error_text(msg_missing_value("--out"))}},
      {"option before the command", {"--out", "FICHIER", "detect"},
       UsageProblem{usage_error_text(msg_unknown_option("FICHIER"))}},
      {"second pair checked after the first", {"detect", "--out", "x", "y", "z"},
       UsageProblem{usage_error_text(msg_unknown_option("y"))}},
      {"odd trailing word after pairs", {"detect", "--out", "x", "y"},
       UsageProblem{usage_error_text(msg_missing_value("y"))}},
  };
  for (const auto& c : cases) EXPECT_EQ(parse_command_line(c.args), c.expected) << c.name;
}

}  // namespace
}  // namespace ostrane
