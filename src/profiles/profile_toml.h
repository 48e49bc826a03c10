#pragma once
// The strict mapping of one TOML text onto a MachineProfile.

#include <expected>
#include <string>
#include <string_view>

#include "src/profiles/machine_profile.h"

namespace ostrane {

// On failure, the TOML layer's whole report: position, quoted source line,
// carets under the offending span, then the message. A text of the plain
// shape of generated profiles is read directly (plain_profile.h); any other
// goes the library's way.
std::expected<MachineProfile, std::string> map_profile_toml(std::string_view text);

// The library's way alone, which gives the same record for a plain text:
// the tests hold the two against each other.
std::expected<MachineProfile, std::string> map_profile_toml_with_library(std::string_view text);

// Whether the TOML library alone reads `text`, with nothing of the mapping:
// what the load benchmark times as the library's share.
bool toml_library_reads(std::string_view text);

}  // namespace ostrane
