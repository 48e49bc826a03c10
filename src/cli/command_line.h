#pragma once
// What the arguments ask for, decided before anything is run.

#include <span>
#include <string>
#include <variant>

#include "src/cli/cli_args.h"

namespace ostrane {

// The help text on standard output, with this status (0, or 2 for an empty
// command line).
struct ShowHelp {
  ExitStatus status;
  friend bool operator==(const ShowHelp&, const ShowHelp&) = default;
};

// A whole text for standard error, then exit 2.
struct UsageProblem {
  std::string text;
  friend bool operator==(const UsageProblem&, const UsageProblem&) = default;
};

enum class Action { Detect, Profiles, ServiceInstall, ServiceUninstall, ServiceHost };

struct RunAction {
  Action action;
  CliArgs args;
  friend bool operator==(const RunAction&, const RunAction&) = default;
};

using Invocation = std::variant<ShowHelp, UsageProblem, RunAction>;

// `args` are the arguments after the program name, as UTF-8.
Invocation parse_command_line(std::span<const std::string> args);

}  // namespace ostrane
