#pragma once
// The strict mapping of one TOML text onto a MachineProfile.

#include <expected>
#include <string>
#include <string_view>

#include "src/profiles/machine_profile.h"

namespace ostrane {

// On failure, the TOML layer's whole report: position, quoted source line,
// carets under the offending span, then the message.
std::expected<MachineProfile, std::string> map_profile_toml(std::string_view text);

}  // namespace ostrane
