#pragma once
// The full path of the running executable.

#include <expected>
#include <string>

namespace ostrane {

// As GetModuleFileNameW gives it, however long; the error is the system's
// text for the failure.
std::expected<std::string, std::string> executable_path();

}  // namespace ostrane
