#pragma once
// The actions the command line dispatches to, and how their outcome reads.

#include "src/cli/action_result.h"
#include "src/cli/cli_args.h"

namespace ostrane {

ActionResult run_detect(const CliArgs& args);
ActionResult run_profiles(const CliArgs& args);
ActionResult install_service();
ActionResult uninstall_service();

// Exit status of the service host, 0 or 1; prints its own error line.
int run_service_dispatcher();

}  // namespace ostrane
