#include "src/backlight/script_runner.h"

#include <cstddef>

#include "src/common/text.h"

namespace ostrane {
namespace {

bool is_separator(char c) { return c == '\\' || c == '/'; }

// "C:\…", "\\server\…" or "\…": anything else depends on the current
// directory.
bool is_absolute_windows_path(std::string_view path) {
  if (path.size() >= 3 && path[1] == ':' && is_separator(path[2])) return true;
  return !path.empty() && is_separator(path[0]);
}

}  // namespace

std::string script_file_name(std::uint32_t pid) {
  std::string name = "ostrane-keyboard-";
  name += std::to_string(pid);
  name += ".ps1";
  return name;
}

std::string private_folder_name(std::uint32_t pid, std::string_view unguessable) {
  std::string name = "ostrane-keyboard-";
  name += std::to_string(pid);
  name += '-';
  name += unguessable;
  return name;
}

std::vector<std::string> child_environment(std::span<const std::string> entries, std::string_view temp_dir) {
  std::vector<std::string> out;
  out.reserve(entries.size() + 2);
  bool temp = false;
  bool tmp = false;
  for (const std::string& entry : entries) {
    const std::string name = ascii_upper(std::string_view(entry).substr(0, entry.find('=')));
    if (name == "TEMP" || name == "TMP") {
      (name == "TEMP" ? temp : tmp) = true;
      out.push_back(name + "=" + std::string(temp_dir));
    } else {
      out.push_back(entry);
    }
  }
  if (!temp) out.push_back("TEMP=" + std::string(temp_dir));
  if (!tmp) out.push_back("TMP=" + std::string(temp_dir));
  return out;
}

std::vector<std::string> script_arguments(std::string_view script_path, std::string_view mode, unsigned level,
                                          std::string_view framework_dir) {
  return {"-NoProfile",
          "-NonInteractive",
          "-ExecutionPolicy",
          "Bypass",
          "-File",
          std::string(script_path),
          "-Mode",
          std::string(mode),
          "-Level",
          std::to_string(level),
          "-FrameworkDir",
          std::string(framework_dir)};
}

std::string quote_argument(std::string_view argument) {
  if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string_view::npos) {
    return std::string(argument);
  }
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count only in front of a quote: there each one is doubled
    // and the quote escaped.
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');  // they now stand before the closing quote
  out += '"';
  return out;
}

std::string command_line(std::string_view program, const std::vector<std::string>& arguments) {
  // The program name is read up to the next quote, without escapes, so it
  // is quoted as it is.
  std::string line = "\"";
  line += program;
  line += '"';
  for (const auto& argument : arguments) {
    line += ' ';
    line += quote_argument(argument);
  }
  return line;
}

std::vector<std::string> program_search_dirs(std::string_view executable_dir, std::string_view system_dir,
                                             std::string_view windows_dir, std::string_view path_variable) {
  std::vector<std::string> dirs;
  for (const auto dir : {executable_dir, system_dir, windows_dir}) {
    if (is_absolute_windows_path(dir)) dirs.emplace_back(dir);
  }
  // Where Windows keeps its own PowerShell: found there, PATH, which another
  // account may have had a say in, is never reached.
  if (is_absolute_windows_path(system_dir)) dirs.push_back(join_windows_path(system_dir, WINDOWS_POWERSHELL_DIR));
  while (!path_variable.empty()) {
    const auto end = path_variable.find(';');
    std::string_view entry = path_variable.substr(0, end);
    path_variable.remove_prefix(end == std::string_view::npos ? path_variable.size() : end + 1);
    // A PATH entry may be quoted to hold a ';'-free path with spaces.
    if (entry.size() >= 2 && entry.front() == '"' && entry.back() == '"') entry = entry.substr(1, entry.size() - 2);
    if (is_absolute_windows_path(entry)) dirs.emplace_back(entry);
  }
  return dirs;
}

std::string read_stream_to_end(const StreamRead& read) {
  std::string out;
  while (true) {
    const std::optional<std::string> chunk = read();
    if (!chunk) return out;
    out += *chunk;
  }
}

std::string join_windows_path(std::string_view dir, std::string_view name) {
  std::string path(dir);
  if (!path.empty() && !is_separator(path.back())) path += '\\';
  path += name;
  return path;
}

std::string parent_windows_path(std::string_view path) {
  const auto last = path.find_last_of("\\/");
  if (last == std::string_view::npos) return {};
  // "C:\ostrane.exe" has the parent "C:\", not "C:".
  if (last == 2 && path[1] == ':') return std::string(path.substr(0, 3));
  return std::string(path.substr(0, last));
}

}  // namespace ostrane
