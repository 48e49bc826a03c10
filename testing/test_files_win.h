#pragma once
// Files, directories and pipes as the Windows tests handle them.

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace ostrane::testing_support {

// The directory of the running test program.
std::wstring executable_dir();
std::wstring full_path(const std::wstring& path);
// The temporary directory, without its trailing separator.
std::wstring temp_dir();
// temp_dir()\{name}-{pid}, made empty.
std::wstring make_temp_dir(std::wstring_view name);
// The directory and everything in it, read-only files included.
void remove_tree(const std::wstring& dir);

std::optional<std::string> read_file(const std::wstring& path);
void write_file(const std::wstring& path, std::string_view bytes);
bool file_exists(const std::wstring& path);

// Everything until the writing end is closed (or the pipe disconnected).
std::string read_to_end(HANDLE handle);

}  // namespace ostrane::testing_support
