#pragma once
// The guard against keys too deeply dotted for the TOML library: it keeps
// its bookkeeping of a dotted key by recursion, one level a part, so a
// small file with one key of 10,000 parts would overflow the stack.

#include <cstddef>
#include <optional>
#include <string_view>

#include "src/profiles/toml_report.h"

namespace ostrane {

// As deep as the library lets arrays and inline tables nest; no profile
// comes near it.
inline constexpr std::size_t MAX_KEY_PARTS = 256;

inline constexpr std::string_view KEY_TOO_DEEP_MESSAGE =
    "Error while parsing key: a dotted key or table name may have at most 256 parts";

// Where the first run of more than `max_parts` dot-joined parts begins,
// outside strings and comments, or nothing. Keys, table headers and the
// rest alike: a dotted run elsewhere is no valid TOML either.
std::optional<TextPosition> find_too_deep_key(std::string_view text, std::size_t max_parts = MAX_KEY_PARTS);

}  // namespace ostrane
