#include "src/service/install_location.h"

#include <algorithm>
#include <array>

namespace ostrane {
namespace {

constexpr std::string_view CREATOR_OWNER_SID = "S-1-3-0";
constexpr std::string_view OWNER_RIGHTS_SID = "S-1-3-4";

bool is_trusted(std::string_view sid, std::string_view installer_sid) {
  constexpr std::array<std::string_view, 3> TRUSTED = {SYSTEM_SID, ADMINISTRATORS_SID, TRUSTED_INSTALLER_SID};
  return std::ranges::find(TRUSTED, sid) != TRUSTED.end() || (!installer_sid.empty() && sid == installer_sid);
}

constexpr std::string_view WHERE_INSTEAD =
    " ; placez ostrane.exe dans un dossier où seuls les administrateurs peuvent écrire, par exemple "
    "C:\\Program Files\\Ostrane";

}  // namespace

std::optional<ForeignWriter> find_foreign_writer(const ObjectSecurity& security, std::string_view installer_sid) {
  if (!is_trusted(security.owner_sid, installer_sid)) return ForeignWriter{GrantedBy::Ownership, security.owner_sid};
  if (!security.dacl) return ForeignWriter{GrantedBy::NullDacl, std::string(EVERYONE_SID)};
  for (const AceEntry& entry : *security.dacl) {
    if (entry.type != AceType::Allow || (entry.flags & INHERIT_ONLY_ACE_FLAG) != 0) continue;
    if ((entry.mask & CHANGING_RIGHTS) == 0) continue;
    if (is_trusted(entry.sid, installer_sid) || entry.sid == CREATOR_OWNER_SID || entry.sid == OWNER_RIGHTS_SID)
      continue;
    return ForeignWriter{GrantedBy::Entry, entry.sid};
  }
  return std::nullopt;
}

std::string msg_location_refused(const ForeignWriter& writer, const std::optional<std::string>& account_name,
                                 std::string_view path) {
  const std::string principal = account_name ? "« " + *account_name + " » (" + writer.sid + ")" : writer.sid;
  std::string text = "installation refusée : ";
  switch (writer.by) {
    case GrantedBy::Entry: text += principal + " peut modifier " + std::string(path); break;
    case GrantedBy::Ownership:
      text += principal + ", propriétaire de " + std::string(path) + ", peut en changer les droits";
      break;
    case GrantedBy::NullDacl:
      text += "tout le monde peut modifier " + std::string(path) + ", qui n'a pas de liste de contrôle d'accès";
      break;
  }
  text += WHERE_INSTEAD;
  return text;
}

std::string msg_location_unreadable(std::string_view path, std::string_view error) {
  std::string text = "installation refusée : droits de ";
  text += path;
  text += " illisibles : ";
  text += error;
  return text;
}

}  // namespace ostrane
