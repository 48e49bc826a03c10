#pragma once
// The guard against documents nested too deeply for the TOML library and
// for the walks over its tree: both recurse once a level, so a small file
// with a key of 30,000 parts, or 200 inline tables inside each other, would
// overflow the stack. The guard reads the text once, before the library
// does, and finds the first place where the nesting goes beyond the limit.

#include <cstddef>
#include <optional>
#include <string_view>

#include "src/profiles/toml_report.h"

namespace ostrane {

// The library's own limit for nested arrays and inline tables; no profile
// comes near it.
inline constexpr std::size_t MAX_NESTING = 256;

inline constexpr std::string_view KEY_TOO_DEEP_MESSAGE =
    "Error while parsing key: a dotted key or table name may have at most 256 parts";
inline constexpr std::string_view NESTING_TOO_DEEP_MESSAGE =
    "Error while parsing value: tables and arrays may nest at most 256 levels deep, counting the parts of their "
    "keys";

struct NestingError {
  TextPosition at;
  std::string_view message;
};

// The depth of a place is the number of parts of the current table header,
// plus, for each array or inline table it is in, the parts of that
// container's key and one level for the container itself, plus the parts of
// the key being read. A dotted key longer than `max_depth` by itself is
// reported at its first part with KEY_TOO_DEEP_MESSAGE; any other place
// deeper than `max_depth` at the key or the bracket that goes beyond, with
// NESTING_TOO_DEEP_MESSAGE.
//
// A bare key part is every run of characters other than white space, '.',
// '=', brackets, braces, ',', quotes and '#': more than the library takes,
// so that nothing it takes as a key is left uncounted.
std::optional<NestingError> find_too_deep_nesting(std::string_view text, std::size_t max_depth = MAX_NESTING);

}  // namespace ostrane
