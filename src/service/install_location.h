#pragma once
// Where the service may be installed from. It runs as LocalSystem the
// ostrane.exe it was installed from, the powershell.exe beside it (looked
// for there first) and the Framework tools of its "framework" folder: if
// anyone but the administrators may create, replace or re-permission those
// files, anyone gets code run as SYSTEM. The rule reads the owner and the
// DACL of each file and folder, taken apart into plain entries.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrane {

enum class AceType { Allow, Deny, Other };

// One access-control entry: its SID in text form ("S-1-1-0").
struct AceEntry {
  AceType type = AceType::Allow;
  std::string sid;
  std::uint32_t mask = 0;
  std::uint8_t flags = 0;  // the ACE header's inheritance flags
};

struct ObjectSecurity {
  std::string owner_sid;
  // No value: a null DACL, which lets everyone do everything.
  std::optional<std::vector<AceEntry>> dacl;
};

// Rights that let their holder create, write, delete, rename or
// re-permission a file or a folder's content: write data or add a file,
// append data or add a folder, delete a child, delete, write the DACL,
// take ownership, and the generic write and all.
inline constexpr std::uint32_t CHANGING_RIGHTS =
    0x00000002 | 0x00000004 | 0x00000040 | 0x00010000 | 0x00040000 | 0x00080000 | 0x10000000 | 0x40000000;

inline constexpr std::uint8_t INHERIT_ONLY_ACE_FLAG = 0x08;

// The principals that may: SYSTEM, the Administrators group, TrustedInstaller.
inline constexpr std::string_view SYSTEM_SID = "S-1-5-18";
inline constexpr std::string_view ADMINISTRATORS_SID = "S-1-5-32-544";
inline constexpr std::string_view TRUSTED_INSTALLER_SID =
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
inline constexpr std::string_view EVERYONE_SID = "S-1-1-0";

enum class GrantedBy { Entry, Ownership, NullDacl };

// Someone other than the trusted principals and the installing account who
// may change the object, and how.
struct ForeignWriter {
  GrantedBy by = GrantedBy::Entry;
  std::string sid;
};

// The first such principal: the owner (who may always rewrite the DACL),
// then every entry that grants a changing right, in DACL order. Deny
// entries grant nothing, and inherit-only ones apply to what is created
// later, which needs a changing right on the folder first. The placeholder
// SIDs CREATOR OWNER and OWNER RIGHTS stand for the owner, already judged.
std::optional<ForeignWriter> find_foreign_writer(const ObjectSecurity& security, std::string_view installer_sid);

// "installation refusée : …", naming the principal (with the account name
// the system gives it, when it gives one), the file or folder it may
// change, and where to put the program.
std::string msg_location_refused(const ForeignWriter& writer, const std::optional<std::string>& account_name,
                                 std::string_view path);
// The object's security could not be read: the system's text.
std::string msg_location_unreadable(std::string_view path, std::string_view error);

}  // namespace ostrane
