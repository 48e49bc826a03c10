#include "src/service/install_location.h"

#include <algorithm>
#include <array>

#include "src/backlight/script_runner.h"

namespace ostrane {
namespace {

constexpr std::string_view CREATOR_OWNER_SID = "S-1-3-0";
constexpr std::string_view OWNER_RIGHTS_SID = "S-1-3-4";

constexpr std::uint32_t ADD_FILE = 0x00000002;
constexpr std::uint32_t ADD_SUBDIRECTORY = 0x00000004;
constexpr std::uint32_t DELETE_CHILD = 0x00000040;
constexpr std::uint32_t DELETE = 0x00010000;
constexpr std::uint32_t GENERIC_WRITE = 0x40000000;
// Whoever holds one of these may give themselves every other right.
constexpr std::uint32_t CONTROL_RIGHTS = 0x00040000 | 0x00080000 | 0x10000000;

bool is_trusted(std::string_view sid, std::string_view also_trusted) {
  constexpr std::array<std::string_view, 3> TRUSTED = {SYSTEM_SID, ADMINISTRATORS_SID, TRUSTED_INSTALLER_SID};
  return std::ranges::find(TRUSTED, sid) != TRUSTED.end() || (!also_trusted.empty() && sid == also_trusted);
}

// An allow entry that applies to the object now (or, with `future`, also
// to what it will hold) and names someone who is not already judged.
bool is_foreign_grant(const AceEntry& entry, bool future, std::string_view also_trusted) {
  if (entry.type != AceType::Allow) return false;
  if (!future && (entry.flags & INHERIT_ONLY_ACE_FLAG) != 0) return false;
  return !is_trusted(entry.sid, also_trusted) && entry.sid != CREATOR_OWNER_SID && entry.sid != OWNER_RIGHTS_SID;
}

// A link on the way, the owner and an entry the rule cannot read, judged
// alike for every role.
std::optional<LocationRefusal> judge_any_role(const ExaminedObject& object, std::string_view also_trusted) {
  if (object.reparse_point) return LocationRefusal{RefusalReason::ReparsePoint, object.path, {}, {}};
  if (!is_trusted(object.security.owner_sid, also_trusted)) {
    return LocationRefusal{RefusalReason::Owner, object.path, object.security.owner_sid, {}};
  }
  if (!object.security.dacl) return std::nullopt;
  for (const AceEntry& entry : *object.security.dacl) {
    if (entry.type == AceType::Unknown) {
      return LocationRefusal{RefusalReason::UnknownEntry, object.path, {}, {}, entry.header_type};
    }
  }
  return std::nullopt;
}

LocationRefusal null_dacl(const ExaminedObject& object) {
  return {RefusalReason::NullDacl, object.path, std::string(EVERYONE_SID), {}};
}

std::optional<LocationRefusal> judge_content(const ExaminedObject& object, std::string_view also_trusted) {
  if (auto refusal = judge_any_role(object, also_trusted)) return refusal;
  if (!object.security.dacl) return null_dacl(object);
  const bool future = object.role == ObjectRole::Folder;
  for (const AceEntry& entry : *object.security.dacl) {
    if ((entry.mask & CHANGING_RIGHTS) != 0 && is_foreign_grant(entry, future, also_trusted)) {
      return LocationRefusal{RefusalReason::Writable, object.path, entry.sid, {}};
    }
  }
  return std::nullopt;
}

// A folder replaces its child `child` when someone may take the child away
// (delete or rename it: delete-child on the folder, delete on the child)
// and put something of their own in its place (add a folder, or a junction;
// add a file, or a file symbolic link, through which the path resolves
// too), or may re-permission the folder. Adding folders alone is what the root
// of a system drive grants every user. The rights of all the others are
// taken together: most are granted to groups that every user belongs to.
std::optional<LocationRefusal> judge_parent(const ExaminedObject& parent, const ExaminedObject& child,
                                            std::string_view also_trusted) {
  if (auto refusal = judge_any_role(parent, also_trusted)) return refusal;
  if (!parent.security.dacl) return null_dacl(parent);
  std::optional<std::string> remover;
  bool may_add = false;
  for (const AceEntry& entry : *parent.security.dacl) {
    if (!is_foreign_grant(entry, false, also_trusted)) continue;
    if ((entry.mask & CONTROL_RIGHTS) != 0) {
      return LocationRefusal{RefusalReason::Replaceable, child.path, entry.sid, {}};
    }
    if ((entry.mask & DELETE_CHILD) != 0 && !remover) remover = entry.sid;
    may_add = may_add || (entry.mask & (ADD_FILE | ADD_SUBDIRECTORY | GENERIC_WRITE)) != 0;
  }
  if (!child.security.dacl) {
    remover = remover.value_or(std::string(EVERYONE_SID));
  } else {
    for (const AceEntry& entry : *child.security.dacl) {
      if (remover) break;
      if ((entry.mask & (DELETE | CONTROL_RIGHTS)) != 0 && is_foreign_grant(entry, false, also_trusted)) {
        remover = entry.sid;
      }
    }
  }
  if (remover && may_add) return LocationRefusal{RefusalReason::Replaceable, child.path, *remover, {}};
  return std::nullopt;
}

std::string principal(const LocationRefusal& refusal, const std::optional<std::string>& account_name) {
  return account_name ? "« " + *account_name + " » (" + refusal.sid + ")" : refusal.sid;
}

constexpr std::string_view WHERE_INSTEAD =
    " ; placez ostrane.exe dans un dossier où seuls les administrateurs peuvent écrire, par exemple "
    "C:\\Program Files\\Ostrane";

}  // namespace

AceType ace_type_of(std::uint8_t header_type) {
  switch (header_type) {
    case 0x00:                         // ACCESS_ALLOWED_ACE_TYPE
    case 0x05:                         // ACCESS_ALLOWED_OBJECT_ACE_TYPE
    case 0x09:                         // ACCESS_ALLOWED_CALLBACK_ACE_TYPE
    case 0x0B: return AceType::Allow;  // ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE
    case 0x01:                         // ACCESS_DENIED_ACE_TYPE
    case 0x06:                         // ACCESS_DENIED_OBJECT_ACE_TYPE
    case 0x0A:                         // ACCESS_DENIED_CALLBACK_ACE_TYPE
    case 0x0C: return AceType::Deny;   // ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE
    case 0x02:                         // SYSTEM_AUDIT_ACE_TYPE
    case 0x03:                         // SYSTEM_ALARM_ACE_TYPE
    case 0x07:                         // SYSTEM_AUDIT_OBJECT_ACE_TYPE
    case 0x08:                         // SYSTEM_ALARM_OBJECT_ACE_TYPE
    case 0x0D:                         // SYSTEM_AUDIT_CALLBACK_ACE_TYPE
    case 0x0E:                         // SYSTEM_ALARM_CALLBACK_ACE_TYPE
    case 0x0F:                         // SYSTEM_AUDIT_CALLBACK_OBJECT_ACE_TYPE
    case 0x10:                         // SYSTEM_ALARM_CALLBACK_OBJECT_ACE_TYPE
    case 0x11: return AceType::Other;  // SYSTEM_MANDATORY_LABEL_ACE_TYPE
    default: return AceType::Unknown;  // ACCESS_ALLOWED_COMPOUND_ACE_TYPE (4) among them
  }
}

std::optional<LocationRefusal> judge_install_layout(const InstallLayout& layout, std::string_view also_trusted) {
  for (const ExaminedObject& object : layout.contents) {
    if (auto refusal = judge_content(object, also_trusted)) return refusal;
  }
  const auto folder = std::ranges::find(layout.contents, ObjectRole::Folder, &ExaminedObject::role);
  const ExaminedObject* child = folder == layout.contents.end() ? nullptr : &*folder;
  for (const ExaminedObject& parent : layout.parents) {
    if (child == nullptr) break;
    if (auto refusal = judge_parent(parent, *child, also_trusted)) return refusal;
    child = &parent;
  }
  return std::nullopt;
}

std::expected<std::string, LocationRefusal> local_path_from_final(std::string_view final_path) {
  constexpr std::string_view LOCAL = R"(\\?\)";
  if (final_path.starts_with(LOCAL)) {
    const std::string_view rest = final_path.substr(LOCAL.size());
    const bool drive = rest.size() >= 3 && rest[1] == ':' && rest[2] == '\\' &&
                       ((rest[0] >= 'A' && rest[0] <= 'Z') || (rest[0] >= 'a' && rest[0] <= 'z'));
    if (drive) return std::string(rest);
  }
  return std::unexpected(LocationRefusal{RefusalReason::NotLocal, std::string(final_path), {}, {}});
}

std::vector<std::string> folder_and_parents(std::string_view folder) {
  std::vector<std::string> chain;
  std::string at(folder);
  while (!at.empty()) {
    chain.push_back(at);
    std::string up = parent_windows_path(at);
    if (up == at) break;
    at = std::move(up);
  }
  return chain;
}

std::string describe_refusal(const LocationRefusal& refusal, const std::optional<std::string>& account_name) {
  switch (refusal.reason) {
    case RefusalReason::Writable: return principal(refusal, account_name) + " peut modifier " + refusal.path;
    case RefusalReason::Owner:
      return principal(refusal, account_name) + ", propriétaire de " + refusal.path + ", peut en changer les droits";
    case RefusalReason::NullDacl:
      return "tout le monde peut modifier " + refusal.path + ", qui n'a pas de liste de contrôle d'accès";
    case RefusalReason::Replaceable: return principal(refusal, account_name) + " peut remplacer " + refusal.path;
    case RefusalReason::ReparsePoint:
      return refusal.path + " est une jonction, un lien symbolique ou un autre point d'analyse";
    case RefusalReason::NotLocal:
      return refusal.path + " n'est pas sur un disque local : ses droits ne sont pas ceux de cette machine";
    case RefusalReason::Unreadable: return "droits de " + refusal.path + " illisibles : " + refusal.error;
    case RefusalReason::UnknownEntry:
      return "les droits de " + refusal.path + " ont une entrée de type " + std::to_string(refusal.entry_type) +
             ", que la vérification ne sait pas lire";
  }
  return {};
}

std::string msg_install_refused(const LocationRefusal& refusal, const std::optional<std::string>& account_name) {
  std::string text = "installation refusée : " + describe_refusal(refusal, account_name);
  // An unreadable object says nothing of the place.
  if (refusal.reason != RefusalReason::Unreadable) text += WHERE_INSTEAD;
  return text;
}

std::string msg_run_refused(const LocationRefusal& refusal, const std::optional<std::string>& account_name) {
  return describe_refusal(refusal, account_name) + " ; le service n'exécute rien";
}

}  // namespace ostrane
