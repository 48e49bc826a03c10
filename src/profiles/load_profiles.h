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

// What the files of one folder may hold together: some fifteen times the
// shipped collection. A load keeps every profile it has read until the
// command ends, and an 8 MiB file of empty strings becomes some 90 MB of
// records: a folder of many such files would exhaust memory, one at this
// limit peaks at some 450 MB.
inline constexpr std::size_t MAX_PROFILE_FOLDER_BYTES = std::size_t{32} << 20;

// Why a file was not read, naming it as the load does ("{path} : …"); the
// system's error keeps its own text, without the name.
std::string msg_profile_unread(std::string_view path, const ReadFailure& failure);
// The file with which the folder's profiles went beyond MAX_PROFILE_FOLDER_BYTES.
std::string msg_profile_folder_too_large(std::string_view path);

// `dir` joined with `name` by a backslash, unless it ends with a separator.
std::string join_profile_path(std::string_view dir, std::string_view name);

// The text after the last dot is "toml", and something comes before the dot.
bool has_toml_extension(std::string_view file_name);

// The profiles of the *.toml files directly inside `dir`, in byte order of
// their names; the first file that cannot be read, mapped or validated, or
// that takes the folder beyond MAX_PROFILE_FOLDER_BYTES, ends the load with
// its error text.
std::expected<std::vector<MachineProfile>, std::string> load_profiles(const std::string& dir, const FileReader& files);

}  // namespace ostrane
