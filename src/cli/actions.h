#pragma once
// The actions the command line dispatches to, and how their outcome reads.

#include <expected>
#include <string>

#include "src/cli/cli_args.h"

namespace ostrane {

struct ActionError {
  std::string text;
  // The action has printed its own error line already (a failed write of
  // the output document): the command line only exits 1.
  bool reported = false;
};

using ActionResult = std::expected<void, ActionError>;

ActionResult run_detect(const CliArgs& args);
ActionResult run_profiles(const CliArgs& args);
ActionResult install_service();
ActionResult uninstall_service();

// Exit status of the service host, 0 or 1; prints its own error line.
int run_service_dispatcher();

}  // namespace ostrane
