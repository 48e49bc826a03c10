#include "src/report/commands.h"

#include "src/identity/machine_identity.h"
#include "src/profiles/load_profiles.h"
#include "src/profiles/resolve_profile.h"
#include "src/report/documents.h"

namespace ostrane {
namespace {

ActionError profiles_error(const CommandRequest& request, std::string_view loader_error) {
  return ActionError{"profils (" + request.profiles_dir + ") : " + std::string(loader_error)};
}

ActionResult emit(const CommandEnvironment& env, const std::string& document, const CommandRequest& request) {
  if (env.emit(document, request.out)) return {};
  return std::unexpected(ActionError{.reported = true});
}

// The list, kept until the process ends, which gives all its memory back at
// once: freeing its many small allocations one by one, the last thing a
// command would do, costs more than a millisecond under Wine for nothing.
// A later command of the same process replaces it.
const std::vector<MachineProfile>& kept_until_exit(std::vector<MachineProfile> profiles) {
  // NOLINTNEXTLINE(cppcoreguidelines-owning-memory,cppcoreguidelines-avoid-non-const-global-variables)
  static auto* const KEPT = new std::vector<MachineProfile>();
  *KEPT = std::move(profiles);
  return *KEPT;
}

}  // namespace

ActionResult detect_command(const CommandRequest& request, const CommandEnvironment& env) {
  // The profiles come first: a bad directory fails before the firmware is read.
  auto loaded = load_profiles(request.profiles_dir, env.files);
  if (!loaded) return std::unexpected(profiles_error(request, loaded.error()));
  const std::vector<MachineProfile>& profiles = kept_until_exit(std::move(*loaded));

  const auto identity = detect_identity(env.firmware);
  if (!identity) return std::unexpected(ActionError{display(identity.error())});

  const Resolution resolution = resolve_profile(profiles, *identity);
  return emit(env, build_detection_report(*identity, resolution, profiles.size()), request);
}

ActionResult profiles_command(const CommandRequest& request, const CommandEnvironment& env) {
  auto loaded = load_profiles(request.profiles_dir, env.files);
  if (!loaded) return std::unexpected(profiles_error(request, loaded.error()));
  return emit(env, build_profile_listing(kept_until_exit(std::move(*loaded))), request);
}

}  // namespace ostrane
