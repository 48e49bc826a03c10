#include "src/cli/usage.h"

namespace ostrane {

std::string msg_missing_value(std::string_view option) { return "valeur manquante pour " + std::string(option); }

std::string msg_unknown_option(std::string_view option) { return "option inconnue : " + std::string(option); }

std::string help_text() { return std::string(USAGE) + "\n"; }

std::string usage_error_text(std::string_view message) {
  return "erreur : " + std::string(message) + "\n\n" + std::string(USAGE) + "\n";
}

std::string unknown_command_text(std::string_view command) {
  return "commande inconnue : " + std::string(command) + "\n\n" + std::string(USAGE) + "\n";
}

std::string unknown_service_action_text() {
  return "commande service inconnue (install ou uninstall)\n\n" + std::string(USAGE) + "\n";
}

std::string runtime_error_text(std::string_view error) { return "erreur : " + std::string(error) + "\n"; }

}  // namespace ostrane
