#pragma once
// A machine profile as read from one TOML file.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace ostrane {

enum class ProfileScope { Model, Family };

enum class Confidence { Validated, Documented, Assumed };

struct Matches {
  std::vector<std::string> mtm;
  std::vector<std::string> version_contains;
  friend bool operator==(const Matches&, const Matches&) = default;
};

struct Bounds {
  std::int64_t min = 0;
  std::int64_t max = 0;
  friend bool operator==(const Bounds&, const Bounds&) = default;
};

namespace access {
struct Msr {
  std::uint32_t address = 0;
  friend bool operator==(const Msr&, const Msr&) = default;
};
struct Ec {
  std::uint8_t offset = 0;
  friend bool operator==(const Ec&, const Ec&) = default;
};
struct Wmi {
  std::string class_name;  // the TOML key is `class`
  std::string property;
  friend bool operator==(const Wmi&, const Wmi&) = default;
};
struct Acpi {
  std::string path;
  friend bool operator==(const Acpi&, const Acpi&) = default;
};
struct PlatformProfile {
  friend bool operator==(const PlatformProfile&, const PlatformProfile&) = default;
};
}  // namespace access

using Access = std::variant<access::Msr, access::Ec, access::Wmi, access::Acpi, access::PlatformProfile>;

struct Capability {
  std::string id;
  std::string label;
  Access access;
  Confidence confidence = Confidence::Assumed;
  std::vector<std::string> sources;
  std::optional<std::string> validated_on;
  std::optional<Bounds> bounds;
  std::optional<std::string> notes;
  friend bool operator==(const Capability&, const Capability&) = default;
};

struct MachineProfile {
  std::uint32_t schema_version = 0;
  std::string id;
  std::string display_name;
  ProfileScope scope = ProfileScope::Model;
  Matches matches;
  std::vector<Capability> capabilities;
  friend bool operator==(const MachineProfile&, const MachineProfile&) = default;
};

}  // namespace ostrane
