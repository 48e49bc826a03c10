#pragma once
// Runs the backlight script through Windows PowerShell: the file it is
// written to, the program looked for, the command line it is given.

#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "hal/hal_error.h"

namespace ostrane {

inline constexpr std::string_view POWERSHELL_EXE = "powershell.exe";
// Windows PowerShell's directory, under the system directory.
inline constexpr std::string_view WINDOWS_POWERSHELL_DIR = "WindowsPowerShell\\v1.0";
inline constexpr std::string_view FRAMEWORK_DIR_NAME = "framework";
inline constexpr std::string_view MSG_SCRIPT_FAILED = "commande de rétroéclairage en échec";

// "ostrane-keyboard-{pid}.ps1".
std::string script_file_name(std::uint32_t pid);

// "ostrane-keyboard-{pid}-{unguessable}": the folder of one run, which holds
// the script and serves the child as TEMP.
std::string private_folder_name(std::uint32_t pid, std::string_view unguessable);

// The child's environment: `entries` ("NAME=value", as the system lists
// them), with TEMP and TMP (names compared regardless of ASCII case)
// naming `temp_dir`, added at the end when missing.
std::vector<std::string> child_environment(std::span<const std::string> entries, std::string_view temp_dir);

// The twelve arguments after the program name.
std::vector<std::string> script_arguments(std::string_view script_path, std::string_view mode, unsigned level,
                                          std::string_view framework_dir);

// One argument as CommandLineToArgvW and the C runtimes read it back: quoted
// when empty or holding a blank or a quote, backslashes doubled before a
// quote.
std::string quote_argument(std::string_view argument);

// The program path, always quoted, then each argument after one space.
std::string command_line(std::string_view program, const std::vector<std::string>& arguments);

// Where powershell.exe is looked for, in order: the executable's directory,
// the system directory, the Windows directory, Windows PowerShell's own
// directory under the system directory, then each absolute directory of
// PATH. Relative PATH entries (".", an empty one) would name the current
// directory, which is never searched.
std::vector<std::string> program_search_dirs(std::string_view executable_dir, std::string_view system_dir,
                                             std::string_view windows_dir, std::string_view path_variable);

// "D\name", with no doubled separator.
std::string join_windows_path(std::string_view dir, std::string_view name);

// Everything before the last separator; empty when there is none.
std::string parent_windows_path(std::string_view path);

// One read of a child's output stream: the bytes it gave, possibly none, or
// nothing when the read failed (the child has closed its end).
using StreamRead = std::function<std::optional<std::string>()>;

// Everything a stream gives until a read fails. A read that succeeds with no
// byte only means that the child wrote zero bytes: it ends nothing.
std::string read_stream_to_end(const StreamRead& read);

// Writes the script to the temporary directory, runs PowerShell on it and
// returns its standard output (lossy UTF-8). Windows layer only.
std::expected<std::string, HalError> run_keyboard_script(std::string_view mode, unsigned level);

}  // namespace ostrane
