#pragma once
// A profile directory, loaded all or nothing.

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "src/platform/file_reader.h"
#include "src/profiles/machine_profile.h"

namespace ostrane {

// Far above any real profile (the largest shipped is some 20 KB), and what
// the program reads whole into memory at most.
inline constexpr std::size_t MAX_PROFILE_BYTES = std::size_t{8} << 20;

// Why a file was not read, naming it as the load does ("{path} : …"); the
// system's error keeps its own text, without the name.
std::string msg_profile_unread(std::string_view path, const ReadFailure& failure);

// `dir` joined with `name` by a backslash, unless it ends with a separator.
std::string join_profile_path(std::string_view dir, std::string_view name);

// The text after the last dot is "toml", and something comes before the dot.
bool has_toml_extension(std::string_view file_name);

// The profiles of the *.toml files directly inside `dir`, in byte order of
// their names; the first file that cannot be read, mapped or validated ends
// the load with its error text.
std::expected<std::vector<MachineProfile>, std::string> load_profiles(const std::string& dir, const FileReader& files);

}  // namespace ostrane
