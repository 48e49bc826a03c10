// Actions of this version that are not built yet end with an error that
// says so, and nothing else.
#include "src/cli/actions.h"
#include "src/cli/usage.h"
#include "src/platform/console_win.h"

namespace ostrane {
namespace {

ActionResult not_built(std::string_view what) {
  return std::unexpected(ActionError{std::string(what) + " : pas encore disponible dans cette version"});
}

}  // namespace

ActionResult install_service() { return not_built("installation du service"); }
ActionResult uninstall_service() { return not_built("désinstallation du service"); }

int run_service_dispatcher() {
  write_std(StdStream::Err, runtime_error_text("service : pas encore disponible dans cette version"));
  return 1;
}

}  // namespace ostrane
