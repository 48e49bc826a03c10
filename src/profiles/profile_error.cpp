#include "src/profiles/profile_error.h"

namespace ostrane {
namespace {

struct Display {
  std::string operator()(const profile_error::Toml& e) const { return "TOML invalide : " + e.report; }
  std::string operator()(const profile_error::UnsupportedSchema& e) const {
    // Appended piece by piece: GCC 12 sees a false overlap in a chain of +.
    std::string text = "version de schéma ";
    text += std::to_string(e.found);
    text += " non supportée (attendu ";
    text += std::to_string(SUPPORTED_SCHEMA_VERSION);
    text += ')';
    return text;
  }
  std::string operator()(const profile_error::Invalid& e) const {
    return "profil « " + e.profile_id + " » : " + e.message;
  }
};

}  // namespace

std::string display(const ProfileError& error) { return std::visit(Display{}, error); }

}  // namespace ostrane
