#pragma once
// Why one profile text was refused.

#include <cstdint>
#include <string>
#include <variant>

namespace ostrane {

inline constexpr std::uint32_t SUPPORTED_SCHEMA_VERSION = 1;

namespace profile_error {
struct Toml {
  std::string report;
  friend bool operator==(const Toml&, const Toml&) = default;
};
struct UnsupportedSchema {
  std::uint32_t found;
  friend bool operator==(const UnsupportedSchema&, const UnsupportedSchema&) = default;
};
struct Invalid {
  std::string profile_id;  // as written, not trimmed
  std::string message;
  friend bool operator==(const Invalid&, const Invalid&) = default;
};
}  // namespace profile_error

using ProfileError = std::variant<profile_error::Toml, profile_error::UnsupportedSchema, profile_error::Invalid>;

// "TOML invalide : {}", "version de schéma {} non supportée (attendu 1)",
// "profil « {} » : {}".
std::string display(const ProfileError& error);

}  // namespace ostrane
