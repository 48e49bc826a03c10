#include "src/profiles/resolve_profile.h"

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

Resolution resolve_profile(std::span<const MachineProfile> profiles, const MachineIdentity& identity) {
  // Every model profile is tried before any family profile, whatever the
  // file order.
  if (identity.mtm) {
    const std::string mtm = ascii_lower(*identity.mtm);
    for (const MachineProfile& profile : profiles) {
      if (profile.scope != ProfileScope::Model) continue;
      for (const std::string& entry : profile.matches.mtm) {
        if (entry.size() == mtm.size() && ascii_lower(entry) == mtm) return {ResolutionKind::Exact, &profile};
      }
    }
  }
  if (identity.display_name) {
    const std::string name = ascii_lower(*identity.display_name);
    for (const MachineProfile& profile : profiles) {
      if (profile.scope != ProfileScope::Family) continue;
      for (const std::string& word : profile.matches.version_contains) {
        if (name.find(ascii_lower(word)) != std::string::npos) return {ResolutionKind::Family, &profile};
      }
    }
  }
  if (is_lenovo_thinkpad(identity) || is_known_other_vendor(identity)) return {ResolutionKind::DynamicProbe};
  return {ResolutionKind::Unsupported};
}

}  // namespace ostrane
