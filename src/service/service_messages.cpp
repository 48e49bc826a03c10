#include "src/service/service_messages.h"

#include "src/service/service_constants.h"

namespace ostrane {
namespace {

std::string with_code(std::string_view before, std::uint32_t code, std::string_view after) {
  std::string text(before);
  text += std::to_string(code);
  text += after;
  return text;
}

std::string name_line(std::string_view before, std::string_view after) {
  std::string text(before);
  text += SERVICE_NAME;
  text += after;
  return text;
}

// "{before}OstraneHal{after} (démarrage refusé, code {code}) : sc start OstraneHal\n"
std::string start_refused(std::string_view before, std::string_view after, std::uint32_t code) {
  std::string text = name_line(before, after);
  text += " (démarrage refusé, code ";
  text += std::to_string(code);
  text += ") : sc start ";
  text += SERVICE_NAME;
  text += '\n';
  return text;
}

}  // namespace

std::string service_command_line(std::string_view executable_path) {
  std::string line = "\"";
  line += executable_path;
  line += "\" --service";
  return line;
}

std::string msg_manager_unreachable(std::uint32_t code) {
  return with_code("gestionnaire de services inaccessible (code ", code, ") : invite administrateur requise");
}

std::string msg_executable_path_unknown(std::string_view error) {
  std::string text = "chemin de l'exécutable introuvable : ";
  text += error;
  return text;
}

std::string msg_create_refused(std::uint32_t code) {
  return with_code("création du service refusée (code ", code, ")");
}
std::string msg_delete_refused(std::uint32_t code) {
  return with_code("suppression du service refusée (code ", code, ")");
}

std::string msg_registered_elsewhere(std::string_view registered, std::string_view installing) {
  std::string text = name_line("installation refusée : le service ", " déjà inscrit lance ");
  text += registered;
  text += ", et non ";
  text += installing;
  text += " ; désinstallez-le d'abord : ostrane service uninstall";
  return text;
}
std::string msg_registration_unreadable(std::uint32_t code) {
  return with_code(name_line("inscription du service ", " illisible (code "), code, ")");
}

std::string msg_stopped_at_start(std::uint32_t code) {
  return with_code(name_line("le service ", " s'est arrêté dès son démarrage (code "), code, ")");
}
std::string msg_still_starting(std::uint32_t seconds) {
  std::string text = name_line("le service ", " démarre toujours après ");
  text += std::to_string(seconds);
  text += " s : sc query ";
  text += SERVICE_NAME;
  return text;
}

std::string msg_service_functions_unavailable(std::string_view detail) {
  std::string text = "fonctions du Gestionnaire de services indisponibles : ";
  text += detail;
  return text;
}

std::string msg_installed_and_started() { return name_line("service ", " installé et démarré\n"); }
std::string msg_installed_start_refused(std::uint32_t code) { return start_refused("service ", " installé", code); }
std::string msg_already_installed_running() { return name_line("le service ", " est déjà installé et tourne\n"); }
std::string msg_already_installed_start_refused(std::uint32_t code) {
  return start_refused("le service ", " est déjà installé", code);
}
std::string msg_already_installed_access_denied() {
  return name_line("le service ", " est déjà installé (démarrage impossible : accès refusé)\n");
}
std::string msg_uninstalled() { return name_line("service ", " désinstallé\n"); }
std::string msg_not_installed() { return name_line("le service ", " n'est pas installé\n"); }

std::string dispatcher_refused_text(std::uint32_t code) {
  return with_code("erreur : démarrage par le Gestionnaire de services refusé (code ", code, ")\n");
}

std::string dispatcher_functions_unavailable_text(std::string_view detail) {
  std::string text = "erreur : ";
  text += msg_service_functions_unavailable(detail);
  text += '\n';
  return text;
}

}  // namespace ostrane
