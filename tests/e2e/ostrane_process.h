#pragma once
// Runs the real ostrane.exe under Wine and captures what it did.

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ostrane::e2e {

struct ProcessResult {
  int exit_code = -1;
  std::string out;
  std::string err;
  std::string wine;  // Wine's error lines, taken out of the standard error
};

// Files of /sys/class/dmi/id as the program should see them (name to
// content); Wine builds its SMBIOS table from them.
using DmiFiles = std::map<std::string, std::string>;

struct RunOptions {
  std::vector<std::string> args;
  std::string working_dir;       // empty: the test's own
  std::optional<DmiFiles> dmi;   // needs a private mount namespace
  std::string stdout_path;       // empty: captured
};

std::string ostrane_exe();

// Why a firmware identity cannot be chosen here, or nothing when it can.
std::optional<std::string> dmi_namespace_unavailable();

ProcessResult run_ostrane(const RunOptions& options);

// How many runs this test program has made again for a fault of Wine.
int runs_made_again();

// Runs with both standard streams on a pseudo-terminal, which Wine turns
// into a console; `out` then holds what the terminal received.
ProcessResult run_ostrane_on_terminal(const std::vector<std::string>& args);

}  // namespace ostrane::e2e
