#pragma once
// The usage text and every message of the command line, word for word.

#include <string>
#include <string_view>

namespace ostrane {

inline constexpr std::string_view USAGE =
    "Usage :\n"
    "  ostrane detect   [--profiles DIR] [--out FICHIER]\n"
    "  ostrane profiles [--profiles DIR]\n"
    "  ostrane service  install|uninstall   (Windows : gestionnaire de services)\n"
    "  ostrane --service                    (interne : lancé par Windows)\n"
    "\n"
    "Options :\n"
    "  --profiles  dossier des profils machine TOML (défaut : ./profiles)\n"
    "  --out       écrit le rapport JSON anonymisé dans FICHIER (detect uniquement)\n"
    "\n"
    "La lecture se fait toujours sur la machine locale, en lecture seule.\n"
    "\n"
    "Sortie : JSON sur stdout. Codes de sortie : 0 succès, 1 erreur, 2 usage.";

inline constexpr std::string_view MSG_MISSING_SERVICE_ACTION =
    "sous-action manquante pour service : install ou uninstall";

std::string msg_missing_value(std::string_view option);
std::string msg_unknown_option(std::string_view option);

// Whole texts as they reach a stream, line feeds included.
std::string help_text();
std::string usage_error_text(std::string_view message);
std::string unknown_command_text(std::string_view command);
std::string unknown_service_action_text();
std::string runtime_error_text(std::string_view error);

}  // namespace ostrane
