#pragma once
// A child program run to its end, both of its streams read.

#include <windows.h>

#include <optional>
#include <string>

namespace ostrane::testing_support {

struct ProcessOutput {
  DWORD exit_code = 0;
  std::string out;
  std::string err;
};

// Nothing when the program could not be started.
std::optional<ProcessOutput> run_process(const std::wstring& command_line);

}  // namespace ostrane::testing_support
