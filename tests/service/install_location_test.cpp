#include "src/service/install_location.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace ostrane {
namespace {

// Masks and inheritance flags as Windows writes them.
constexpr std::uint32_t FULL = 0x1F01FF;
constexpr std::uint32_t READ_EXECUTE = 0x1200A9;
constexpr std::uint32_t MODIFY = 0x1301BF;
constexpr std::uint32_t GENERIC_ALL = 0x10000000;
// Write data or add a file, append data or add a folder, write extended
// attributes and attributes: what ProgramData gives the Users to its
// subfolders.
constexpr std::uint32_t CREATE_FILES_AND_FOLDERS = 0x116;
constexpr std::uint8_t INHERITED = 0x13;     // object and container inherit, inherited
constexpr std::uint8_t INHERIT_ONLY = 0x1B;  // the same, for children only

const std::string SYSTEM(SYSTEM_SID);
const std::string ADMINISTRATORS(ADMINISTRATORS_SID);
const std::string USERS = "S-1-5-32-545";
const std::string AUTHENTICATED_USERS = "S-1-5-11";
const std::string EVERYONE(EVERYONE_SID);
const std::string CREATOR_OWNER = "S-1-3-0";
const std::string ALL_APPLICATION_PACKAGES = "S-1-15-2-1";
const std::string INSTALLER = "S-1-5-21-1-2-3-500";
const std::string ALICE = "S-1-5-21-1-2-3-1001";

AceEntry allow(const std::string& sid, std::uint32_t mask, std::uint8_t flags = INHERITED) {
  return {AceType::Allow, sid, mask, flags};
}

std::vector<AceEntry> administered(std::vector<AceEntry> more = {}) {
  std::vector<AceEntry> dacl = {allow(SYSTEM, FULL), allow(ADMINISTRATORS, FULL)};
  dacl.insert(dacl.end(), more.begin(), more.end());
  return dacl;
}

struct Case {
  std::string name;
  ObjectSecurity security;
  std::optional<ForeignWriter> expected;
  std::string installer = INSTALLER;
};

class InstallLocation : public testing::TestWithParam<Case> {};

TEST_P(InstallLocation, FindsWhoElseMayChangeIt) {
  const auto found = find_foreign_writer(GetParam().security, GetParam().installer);
  ASSERT_EQ(found.has_value(), GetParam().expected.has_value()) << (found ? found->sid : "");
  if (found) {
    EXPECT_EQ(found->by, GetParam().expected->by);
    EXPECT_EQ(found->sid, GetParam().expected->sid);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Service, InstallLocation,
    testing::Values(
        // A folder made in Program Files: TrustedInstaller's and CREATOR
        // OWNER's entries are for what is created later.
        Case{"ProgramFiles",
             {ADMINISTRATORS, administered({allow(USERS, READ_EXECUTE), allow(ALL_APPLICATION_PACKAGES, READ_EXECUTE),
                                            allow(std::string(TRUSTED_INSTALLER_SID), GENERIC_ALL, INHERIT_ONLY),
                                            allow(CREATOR_OWNER, GENERIC_ALL, INHERIT_ONLY)})},
             std::nullopt},
        Case{"OwnedByTrustedInstaller", {std::string(TRUSTED_INSTALLER_SID), administered()}, std::nullopt},
        Case{"FolderMadeUnderProgramData",
             {ADMINISTRATORS, administered({allow(CREATOR_OWNER, GENERIC_ALL, INHERIT_ONLY), allow(USERS, READ_EXECUTE),
                                            allow(USERS, CREATE_FILES_AND_FOLDERS, 0x12)})},
             ForeignWriter{GrantedBy::Entry, USERS}},
        Case{"EveryoneMayModify",
             {ADMINISTRATORS, administered({allow(EVERYONE, MODIFY)})},
             ForeignWriter{GrantedBy::Entry, EVERYONE}},
        Case{"AuthenticatedUsersMayModify",
             {ADMINISTRATORS, administered({allow(USERS, READ_EXECUTE), allow(AUTHENTICATED_USERS, MODIFY)})},
             ForeignWriter{GrantedBy::Entry, AUTHENTICATED_USERS}},
        Case{"GenericWriteForUsers",
             {ADMINISTRATORS, administered({allow(USERS, 0x40000000, 0)})},
             ForeignWriter{GrantedBy::Entry, USERS}},
        Case{"OnlyAttributesForUsers",
             {ADMINISTRATORS, administered({allow(USERS, READ_EXECUTE | 0x100)})},
             std::nullopt},
        // A user's own folder: the user owns it and may rewrite its DACL.
        Case{"AnotherUsersFolder",
             {ALICE, administered({allow(ALICE, FULL)})},
             ForeignWriter{GrantedBy::Ownership, ALICE}},
        Case{"TheInstallersOwnFolder", {ALICE, administered({allow(ALICE, FULL)})}, std::nullopt, ALICE},
        Case{"DenyEntriesGrantNothing",
             {ADMINISTRATORS, std::vector<AceEntry>{{AceType::Deny, EVERYONE, MODIFY, 0},
                                                    allow(SYSTEM, FULL),
                                                    allow(ADMINISTRATORS, FULL),
                                                    {AceType::Other, EVERYONE, FULL, 0}}},
             std::nullopt},
        Case{"EmptyDacl", {ADMINISTRATORS, std::vector<AceEntry>{}}, std::nullopt},
        Case{"NullDacl", {ADMINISTRATORS, std::nullopt}, ForeignWriter{GrantedBy::NullDacl, EVERYONE}}),
    [](const auto& test) { return test.param.name; });

TEST(InstallLocation, RefusalSaysWhoWhereAndWhereInstead) {
  const std::string instead =
      " ; placez ostrane.exe dans un dossier où seuls les administrateurs peuvent écrire, par exemple "
      R"(C:\Program Files\Ostrane)";
  EXPECT_EQ(
      msg_location_refused({GrantedBy::Entry, USERS}, R"(BUILTIN\Users)", R"(C:\ProgramData\Ostrane)"),
      R"(installation refusée : « BUILTIN\Users » (S-1-5-32-545) peut modifier C:\ProgramData\Ostrane)" + instead);
  EXPECT_EQ(
      msg_location_refused({GrantedBy::Ownership, ALICE}, std::nullopt, R"(C:\Users\alice\outils)"),
      R"(installation refusée : S-1-5-21-1-2-3-1001, propriétaire de C:\Users\alice\outils, peut en changer les droits)" +
          instead);
  EXPECT_EQ(
      msg_location_refused({GrantedBy::NullDacl, EVERYONE}, "Everyone", R"(D:\x\ostrane.exe)"),
      R"(installation refusée : tout le monde peut modifier D:\x\ostrane.exe, qui n'a pas de liste de contrôle d'accès)" +
          instead);
}

}  // namespace
}  // namespace ostrane
