#pragma once

#include <expected>
#include <string_view>

#include "src/profiles/machine_profile.h"
#include "src/profiles/profile_error.h"

namespace ostrane {

// The TOML mapping, then validate_profile.
std::expected<MachineProfile, ProfileError> parse_profile(std::string_view text);

// The rules a mapped profile must meet; the first broken one is the error.
std::expected<void, ProfileError> validate_profile(const MachineProfile& profile);

// Four ASCII letters or digits.
bool is_valid_mtm(std::string_view entry);

}  // namespace ostrane
