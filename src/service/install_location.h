#pragma once
// Where the service may be installed from, and what it may run. It runs as
// LocalSystem the ostrane.exe it was installed from, the powershell.exe
// beside it (looked for there first) and the Framework tools of its
// "framework" folder: if anyone but the administrators may create, replace
// or re-permission those files, or replace a folder above them, anyone gets
// code run as SYSTEM. The rule reads the owner and the DACL of each file and
// folder, taken apart into plain entries.

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ostrane {

// What an entry of a DACL does: grant, deny, nothing (an audit, alarm or
// label entry), or what the rule cannot tell (a compound entry, a type it
// does not know), which it refuses: the system's access check may grant by
// it.
enum class AceType { Allow, Deny, Other, Unknown };

// The kind of the type an ACE header names.
AceType ace_type_of(std::uint8_t header_type);

// One access-control entry: its SID in text form ("S-1-1-0").
struct AceEntry {
  AceType type = AceType::Allow;
  std::string sid;
  std::uint32_t mask = 0;
  std::uint8_t flags = 0;        // the ACE header's inheritance flags
  std::uint8_t header_type = 0;  // the ACE header's type
};

struct ObjectSecurity {
  std::string owner_sid;
  // No value: a null DACL, which lets everyone do everything.
  std::optional<std::vector<AceEntry>> dacl;
};

// Rights that let their holder create, write, delete, rename or
// re-permission a file or a folder's content: write data or add a file,
// append data or add a folder, write extended attributes, delete a child,
// write attributes, delete, write the DACL, take ownership, and the generic
// write and all. Writing attributes or extended attributes is enough to set
// a reparse point: an empty folder becomes a junction to anywhere, a file
// one that nothing opens.
inline constexpr std::uint32_t CHANGING_RIGHTS = 0x00000002 | 0x00000004 | 0x00000010 | 0x00000040 | 0x00000100 |
                                                 0x00010000 | 0x00040000 | 0x00080000 | 0x10000000 | 0x40000000;

inline constexpr std::uint8_t INHERIT_ONLY_ACE_FLAG = 0x08;

// The principals that may: SYSTEM, the Administrators group, TrustedInstaller.
inline constexpr std::string_view SYSTEM_SID = "S-1-5-18";
inline constexpr std::string_view ADMINISTRATORS_SID = "S-1-5-32-544";
inline constexpr std::string_view TRUSTED_INSTALLER_SID =
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
inline constexpr std::string_view EVERYONE_SID = "S-1-1-0";

// What an object is to the service, which decides the entries that count.
enum class ObjectRole {
  File,    // run as SYSTEM: what applies to it now
  Folder,  // holds what is run: also its inherit-only entries, which are
           // what a file an administrator adds later will carry
  Parent,  // above the install folder: what lets it replace its child
};

struct ExaminedObject {
  std::string path;
  ObjectRole role = ObjectRole::File;
  bool reparse_point = false;
  ObjectSecurity security;
};

// The objects of one install location, as the Windows layer read them.
struct InstallLayout {
  // ostrane.exe, the install folder (the first folder here), the
  // powershell.exe beside it, the "framework" folder and its tools, those
  // that exist.
  std::vector<ExaminedObject> contents;
  // The install folder's parent, its parent, and so on to the volume root.
  std::vector<ExaminedObject> parents;
};

enum class RefusalReason { Writable, Owner, NullDacl, Replaceable, ReparsePoint, NotLocal, Unreadable, UnknownEntry };

struct LocationRefusal {
  RefusalReason reason = RefusalReason::Writable;
  std::string path;
  std::string sid;              // who may, for Writable, Owner and Replaceable
  std::string error;            // the system's text, for Unreadable
  std::uint8_t entry_type = 0;  // the ACE header's type, for UnknownEntry
};

// The first reason why someone other than the trusted principals (and
// `also_trusted`, when not empty) could change what the service runs:
// contents in order, then each parent from the nearest. Deny entries grant
// nothing, which errs on the side of refusing, and an entry of an unknown
// type refuses. CREATOR OWNER stands for
// whoever creates a child, and OWNER RIGHTS for the owner: both judged
// already.
std::optional<LocationRefusal> judge_install_layout(const InstallLayout& layout, std::string_view also_trusted);

// "\\?\C:\x" as the system gives a final path, as "C:\x"; a network share or
// a volume without a drive letter is refused.
std::expected<std::string, LocationRefusal> local_path_from_final(std::string_view final_path);

// "C:\a\b", "C:\a", "C:\": a folder and each folder above it.
std::vector<std::string> folder_and_parents(std::string_view folder);

// What `refusal` says, naming the principal with the account name the
// system gives it, when it gives one.
std::string describe_refusal(const LocationRefusal& refusal, const std::optional<std::string>& account_name);
// "installation refusée : …" and where to put the program instead.
std::string msg_install_refused(const LocationRefusal& refusal, const std::optional<std::string>& account_name);
// The reason of a request the service does not run.
std::string msg_run_refused(const LocationRefusal& refusal, const std::optional<std::string>& account_name);

}  // namespace ostrane
