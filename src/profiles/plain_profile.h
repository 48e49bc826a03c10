#pragma once
// The shape every generated profile has, read straight into its record:
// comments, `key = value` lines under the root, [matches] and
// [[capabilities]], with single-line strings, integers, arrays of strings
// and inline tables as values. The TOML library builds a tree of the whole
// document with the source place of every value, which is most of what a
// load costs; this reads each value once and keeps nothing else.
//
// It takes only what it is sure of: anything else in the text (another
// form of TOML, an unknown key, a wrong type, a value out of range, a key
// given twice) makes it decline, and the document goes the library's way,
// which also gives every error. So what it returns is what the library's
// mapping returns for the same text.

#include <optional>
#include <string_view>

#include "src/profiles/machine_profile.h"

namespace ostrane {

std::optional<MachineProfile> read_plain_profile(std::string_view text);

}  // namespace ostrane
