#include "src/cli/command_line.h"

#include "src/cli/usage.h"

namespace ostrane {

Invocation parse_command_line(std::span<const std::string> args) {
  const std::size_t n = args.size();
  if (n == 0) return ShowHelp{ExitStatus::UsageError};

  const std::string& first = args[0];
  if (first == "--service") return RunAction{Action::ServiceHost, CliArgs{.command = first}};
  if (first == "-h" || first == "--help") return ShowHelp{ExitStatus::Success};

  if (first == "service") {
    if (n == 1) return UsageProblem{usage_error_text(MSG_MISSING_SERVICE_ACTION)};
    const std::string& action = args[1];
    CliArgs service_args{.command = first, .service_action = action};
    if (action == "install") return RunAction{Action::ServiceInstall, std::move(service_args)};
    if (action == "uninstall") return RunAction{Action::ServiceUninstall, std::move(service_args)};
    return UsageProblem{unknown_service_action_text()};
  }

  // Options are read before the command word is looked at, so a bad option
  // is reported even after an unknown command.
  CliArgs cli{.command = first};
  for (std::size_t i = 1; i < n; i += 2) {
    const std::string& word = args[i];
    if (i + 1 == n) return UsageProblem{usage_error_text(msg_missing_value(word))};
    if (word == "--out") {
      cli.out = args[i + 1];
    } else if (word == "--profiles") {
      cli.profiles_dir = args[i + 1];
    } else {
      return UsageProblem{usage_error_text(msg_unknown_option(word))};
    }
  }

  if (cli.command == "profiles") return RunAction{Action::Profiles, std::move(cli)};
  if (cli.command == "detect") return RunAction{Action::Detect, std::move(cli)};
  return UsageProblem{unknown_command_text(cli.command)};
}

}  // namespace ostrane
