#pragma once
// What the command line asks of the service: registering it, removing it,
// and running as it when the service manager starts the program.

#include "src/common/action_result.h"

namespace ostrane {

ActionResult install_service();
ActionResult uninstall_service();
// Exit status of the service host, 0 or 1; prints its own error line.
int run_service_dispatcher();

}  // namespace ostrane
