// ostrane: what laptop this is, and how well it is known.
#include <string>
#include <vector>

#include "src/cli/command_line.h"
#include "src/cli/usage.h"
#include "src/platform/console_win.h"
#include "src/platform/wide_win.h"
#include "src/report/commands.h"
#include "src/service/service_commands_win.h"

namespace {

using namespace ostrane;

ActionResult run(const RunAction& run) {
  const CommandRequest request{run.args.profiles_dir, run.args.out};
  switch (run.action) {
    case Action::Detect: return run_detect(request);
    case Action::Profiles: return run_profiles(request);
    case Action::ServiceInstall: return install_service();
    case Action::ServiceUninstall: return uninstall_service();
    case Action::ServiceHost: break;
  }
  return {};
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(from_wide(argv[i]));

  const Invocation invocation = parse_command_line(args);
  if (const auto* help = std::get_if<ShowHelp>(&invocation)) {
    write_std(StdStream::Out, help_text());
    return static_cast<int>(help->status);
  }
  if (const auto* problem = std::get_if<UsageProblem>(&invocation)) {
    write_std(StdStream::Err, problem->text);
    return static_cast<int>(ExitStatus::UsageError);
  }

  const auto& action = std::get<RunAction>(invocation);
  if (action.action == Action::ServiceHost) return run_service_dispatcher();

  const ActionResult result = run(action);
  if (result) return static_cast<int>(ExitStatus::Success);
  if (!result.error().reported) write_std(StdStream::Err, runtime_error_text(result.error().text));
  return static_cast<int>(ExitStatus::RuntimeError);
}
