#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ostrane {

inline constexpr std::string_view DEFAULT_PROFILES_DIR = "profiles";

enum class ExitStatus : int { Success = 0, RuntimeError = 1, UsageError = 2 };

struct CliArgs {
  std::string command;
  std::string profiles_dir{DEFAULT_PROFILES_DIR};
  std::optional<std::string> out;
  std::optional<std::string> service_action;

  friend bool operator==(const CliArgs&, const CliArgs&) = default;
};

}  // namespace ostrane
