#pragma once
// How well the loaded profiles know this machine.

#include <span>

#include "src/identity/machine_identity.h"
#include "src/profiles/machine_profile.h"

namespace ostrane {

enum class ResolutionKind { Exact, Family, DynamicProbe, Unsupported };

// "exact", "family", "dynamic_probe", "unsupported".
std::string_view to_wire(ResolutionKind kind);

struct Resolution {
  ResolutionKind kind = ResolutionKind::Unsupported;
  // Into the caller's list, for Exact and Family only.
  const MachineProfile* profile = nullptr;
};

Resolution resolve_profile(std::span<const MachineProfile> profiles, const MachineIdentity& identity);

}  // namespace ostrane
