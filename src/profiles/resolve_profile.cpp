#include "src/profiles/resolve_profile.h"

#include <string>

#include "src/common/text.h"
#include "src/identity/vendor.h"

namespace ostrane {

std::string_view to_wire(ResolutionKind kind) {
  switch (kind) {
    case ResolutionKind::Exact: return "exact";
    case ResolutionKind::Family: return "family";
    case ResolutionKind::DynamicProbe: return "dynamic_probe";
    case ResolutionKind::Unsupported: return "unsupported";
  }
  return "unsupported";
}

namespace {

// The first model profile that lists this machine type, case aside.
const MachineProfile* find_model(std::span<const MachineProfile> profiles, const std::string& mtm) {
  const std::string wanted = ascii_lower(mtm);
  for (const MachineProfile& profile : profiles) {
    if (profile.scope != ProfileScope::Model) continue;
    for (const std::string& entry : profile.matches.mtm) {
      if (entry.size() == wanted.size() && ascii_lower(entry) == wanted) return &profile;
    }
  }
  return nullptr;
}

// The first family profile one of whose words is in the commercial name,
// case aside.
const MachineProfile* find_family(std::span<const MachineProfile> profiles, const std::string& display_name) {
  const std::string name = ascii_lower(display_name);
  for (const MachineProfile& profile : profiles) {
    if (profile.scope != ProfileScope::Family) continue;
    for (const std::string& word : profile.matches.version_contains) {
      if (name.find(ascii_lower(word)) != std::string::npos) return &profile;
    }
  }
  return nullptr;
}

}  // namespace

Resolution resolve_profile(std::span<const MachineProfile> profiles, const MachineIdentity& identity) {
  // Every model profile is tried before any family profile, whatever the
  // file order.
  if (identity.mtm) {
    if (const MachineProfile* profile = find_model(profiles, *identity.mtm)) return {ResolutionKind::Exact, profile};
  }
  if (identity.display_name) {
    if (const MachineProfile* profile = find_family(profiles, *identity.display_name)) {
      return {ResolutionKind::Family, profile};
    }
  }
  if (is_lenovo_thinkpad(identity) || is_known_other_vendor(identity)) return {ResolutionKind::DynamicProbe};
  return {ResolutionKind::Unsupported};
}

}  // namespace ostrane
