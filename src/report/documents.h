#pragma once
// The two documents of the command line.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "src/identity/machine_identity.h"
#include "src/profiles/machine_profile.h"
#include "src/profiles/resolve_profile.h"

namespace ostrane {

inline constexpr std::string_view NOTICE =
    "Ostrane est un projet indépendant et NON OFFICIEL. Il n'est ni développé, ni approuvé, ni soutenu par "
    "Lenovo. ThinkPad et Lenovo sont des marques de Lenovo. Fourni sans garantie : utilisation à vos risques.";

inline constexpr std::string_view BACKEND = "windows-native";

// Only model-level values: the serial number and every other per-unit
// value of the record stay out.
std::string build_detection_report(const MachineIdentity& identity, const Resolution& resolution,
                                   std::size_t profiles_loaded);

std::string build_profile_listing(std::span<const MachineProfile> profiles);

}  // namespace ostrane
