#include "src/report/commands.h"

#include "src/identity/machine_identity.h"
#include "src/profiles/load_profiles.h"
#include "src/profiles/resolve_profile.h"
#include "src/report/documents.h"

namespace ostrane {
namespace {

ActionError profiles_error(const CliArgs& args, std::string_view loader_error) {
  return ActionError{"profils (" + args.profiles_dir + ") : " + std::string(loader_error)};
}

ActionResult emit(const CommandEnvironment& env, const std::string& document, const CliArgs& args) {
  if (env.emit(document, args.out)) return {};
  return std::unexpected(ActionError{.reported = true});
}

}  // namespace

ActionResult detect_command(const CliArgs& args, const CommandEnvironment& env) {
  // The profiles come first: a bad directory fails before the firmware is read.
  const auto profiles = load_profiles(args.profiles_dir, env.files);
  if (!profiles) return std::unexpected(profiles_error(args, profiles.error()));

  const auto identity = detect_identity(env.firmware);
  if (!identity) return std::unexpected(ActionError{display(identity.error())});

  const Resolution resolution = resolve_profile(*profiles, *identity);
  return emit(env, build_detection_report(*identity, resolution, profiles->size()), args);
}

ActionResult profiles_command(const CliArgs& args, const CommandEnvironment& env) {
  const auto profiles = load_profiles(args.profiles_dir, env.files);
  if (!profiles) return std::unexpected(profiles_error(args, profiles.error()));
  return emit(env, build_profile_listing(*profiles), args);
}

}  // namespace ostrane
