#include "src/service/install_location.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/service/sddl.h"

namespace ostrane {
namespace {

using testing_support::parse_sddl;

#define TI_SID "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"
#define ALICE_SID "S-1-5-21-1-2-3-1001"

// As Windows 10 and 11 ship them.
constexpr std::string_view STOCK_ROOT =
    "O:" TI_SID "G:" TI_SID
    "D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)(A;OICIIO;SDGXGWGR;;;AU)(A;;LC;;;AU)";
constexpr std::string_view STOCK_PROGRAM_FILES =
    "O:" TI_SID "G:" TI_SID "D:PAI(A;;FA;;;" TI_SID ")(A;CIIO;GA;;;" TI_SID
    ")(A;;0x1301bf;;;SY)(A;OICIIO;GA;;;SY)(A;;0x1301bf;;;BA)(A;OICIIO;GA;;;BA)(A;;0x1200a9;;;BU)"
    "(A;OICIIO;GXGR;;;BU)(A;OICIIO;GA;;;CO)(A;;0x1200a9;;;AC)(A;OICIIO;GXGR;;;AC)(A;;0x1200a9;;;S-1-15-2-2)"
    "(A;OICIIO;GXGR;;;S-1-15-2-2)";
// A folder an elevated administrator made in it, and a file put there.
constexpr std::string_view MADE_IN_PROGRAM_FILES =
    "O:BAG:S-1-5-21-1-2-3-513D:AI(A;ID;FA;;;" TI_SID ")(A;CIIOID;GA;;;" TI_SID
    ")(A;ID;FA;;;SY)(A;OICIIOID;GA;;;SY)(A;ID;FA;;;BA)(A;OICIIOID;GA;;;BA)(A;ID;0x1200a9;;;BU)"
    "(A;OICIIOID;GXGR;;;BU)(A;OICIIOID;GA;;;CO)(A;ID;0x1200a9;;;AC)(A;OICIIOID;GXGR;;;AC)"
    "(A;ID;0x1200a9;;;S-1-15-2-2)(A;OICIIOID;GXGR;;;S-1-15-2-2)";
constexpr std::string_view FILE_PUT_THERE =
    "O:BAD:AI(A;ID;FA;;;SY)(A;ID;FA;;;BA)(A;ID;0x1200a9;;;BU)(A;ID;0x1200a9;;;AC)(A;ID;0x1200a9;;;S-1-15-2-2)";
// What a folder made under the root of a system drive inherits.
constexpr std::string_view MADE_UNDER_ROOT =
    "O:BAD:AI(A;OICIID;FA;;;BA)(A;OICIID;FA;;;SY)(A;OICIID;0x1200a9;;;BU)(A;ID;0x1301bf;;;AU)"
    "(A;OICIIOID;SDGXGWGR;;;AU)";
// Administrators and SYSTEM alone, nothing inherited.
constexpr std::string_view ADMINS_ONLY = "O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

const std::string INSTALLER = "S-1-5-21-1-2-3-500";

struct Object {
  std::string path;
  std::string_view sddl;
  bool reparse_point = false;
};

ExaminedObject examined(const Object& object, ObjectRole role) {
  return {object.path, role, object.reparse_point, parse_sddl(object.sddl)};
}

struct Case {
  std::string name;
  Object folder;
  std::vector<Object> parents;
  std::optional<LocationRefusal> expected;
  std::string_view exe_sddl = FILE_PUT_THERE;
  std::vector<Object> framework;  // the folder, then its tools
  std::string also_trusted;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

InstallLayout layout(const Case& c) {
  InstallLayout layout;
  layout.contents.push_back(examined({c.folder.path + "\\ostrane.exe", c.exe_sddl}, ObjectRole::File));
  layout.contents.push_back(examined(c.folder, ObjectRole::Folder));
  for (std::size_t i = 0; i < c.framework.size(); ++i) {
    layout.contents.push_back(examined(c.framework[i], i == 0 ? ObjectRole::Folder : ObjectRole::File));
  }
  for (const Object& parent : c.parents) layout.parents.push_back(examined(parent, ObjectRole::Parent));
  return layout;
}

const std::vector<Object> PROGRAM_FILES = {{R"(C:\Program Files)", STOCK_PROGRAM_FILES}, {R"(C:\)", STOCK_ROOT}};
const Object OSTRANE = {R"(C:\Program Files\Ostrane)", MADE_IN_PROGRAM_FILES};

LocationRefusal refused(RefusalReason reason, std::string path, std::string sid = "") {
  return {reason, std::move(path), std::move(sid), {}};
}

class InstallLocation : public testing::TestWithParam<Case> {};

TEST_P(InstallLocation, RefusesWhereAnotherAccountCouldChangeWhatRuns) {
  const auto found = judge_install_layout(layout(GetParam()), GetParam().also_trusted);
  ASSERT_EQ(found.has_value(), GetParam().expected.has_value()) << (found ? found->path + " " + found->sid : "");
  if (found) {
    EXPECT_EQ(found->reason, GetParam().expected->reason);
    EXPECT_EQ(found->path, GetParam().expected->path);
    EXPECT_EQ(found->sid, GetParam().expected->sid);
  }
}

// GCC 12's optimised build takes the strings of the list's temporaries,
// destroyed at its end, for uninitialised: a false positive.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
std::vector<Case> cases() {
  return {
        // What a careful administrator does: the inherit-only entries of
        // the parents are about their other children; Users may add
        // folders to C:\ but replace none.
        Case{"FolderMadeInProgramFiles", OSTRANE, PROGRAM_FILES, std::nullopt},
        Case{"WithFrameworkToolsAddedLater",
             OSTRANE,
             PROGRAM_FILES,
             std::nullopt,
             FILE_PUT_THERE,
             {{R"(C:\Program Files\Ostrane\framework)", MADE_IN_PROGRAM_FILES},
              {R"(C:\Program Files\Ostrane\framework\framework_tool.exe)", FILE_PUT_THERE}}},
        // What the folder will give the files put in it later.
        Case{"InheritOnlyModifyForUsersOnTheFolder",
             {OSTRANE.path, "O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICIIO;0x1301bf;;;BU)"},
             PROGRAM_FILES,
             refused(RefusalReason::Writable, OSTRANE.path, "S-1-5-32-545")},
        Case{"InheritOnlyModifyOnAnEmptyFrameworkFolder",
             OSTRANE,
             PROGRAM_FILES,
             refused(RefusalReason::Writable, OSTRANE.path + "\\framework", "S-1-5-11"),
             FILE_PUT_THERE,
             {{OSTRANE.path + "\\framework", "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICIIO;0x1301bf;;;AU)"}}},
        Case{"FolderMadeUnderTheRoot",
             {R"(C:\Outils)", MADE_UNDER_ROOT},
             {{R"(C:\)", STOCK_ROOT}},
             refused(RefusalReason::Writable, R"(C:\Outils)", "S-1-5-11")},
        // A protected folder on a data drive whose root lets users modify:
        // its parent can be taken away and put back as theirs.
        Case{"ParentOnADataDriveUsersModify",
             {R"(D:\Apps\Ostrane)", ADMINS_ONLY},
             {{R"(D:\Apps)", "O:BAD:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIID;0x1301bf;;;AU)"},
              {R"(D:\)", "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;AU)"}},
             refused(RefusalReason::Replaceable, R"(D:\Apps)", "S-1-5-11")},
        Case{"ParentLetsUsersDeleteAndAddChildren",
             {R"(D:\Apps\Ostrane)", ADMINS_ONLY},
             {{R"(D:\Apps)", "O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;DTLC;;;BU)"}, {R"(D:\)", ADMINS_ONLY}},
             refused(RefusalReason::Replaceable, R"(D:\Apps\Ostrane)", "S-1-5-32-545")},
        // Deleting the child without a way to put another in its place, or
        // adding folders without a way to take it away, replaces nothing.
        Case{"ParentLetsUsersDeleteOnly",
             {R"(D:\Apps\Ostrane)", ADMINS_ONLY},
             {{R"(D:\Apps)", "O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;DT;;;BU)"}, {R"(D:\)", ADMINS_ONLY}},
             std::nullopt},
        Case{"ParentOwnedByAUser",
             {R"(D:\alice\Ostrane)", ADMINS_ONLY},
             {{R"(D:\alice)", "O:" ALICE_SID "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"}, {R"(D:\)", ADMINS_ONLY}},
             refused(RefusalReason::Owner, R"(D:\alice)", ALICE_SID)},
        Case{"ParentLetsEveryoneRewriteItsDacl",
             {R"(D:\x\Ostrane)", ADMINS_ONLY},
             {{R"(D:\x)", "O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;WD;;;WD)"}, {R"(D:\)", ADMINS_ONLY}},
             refused(RefusalReason::Replaceable, R"(D:\x\Ostrane)", "S-1-1-0")},
        Case{"JunctionOnTheWay",
             {R"(D:\x\Ostrane)", ADMINS_ONLY},
             {{R"(D:\x)", ADMINS_ONLY, true}, {R"(D:\)", ADMINS_ONLY}},
             refused(RefusalReason::ReparsePoint, R"(D:\x)")},
        // The administrator's own account, unelevated, is anyone's.
        Case{"FolderOfTheInstallingAccount",
             {R"(C:\Users\admin\Ostrane)", "O:" ALICE_SID "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;" ALICE_SID ")"},
             {},
             refused(RefusalReason::Owner, R"(C:\Users\admin\Ostrane)", ALICE_SID)},
        // Wine reports every file as the running account's own.
        Case{"AnAccountTrustedBesides",
             {R"(C:\users\root\Temp\x)", "O:" ALICE_SID "D:(A;OICI;FA;;;SY)(A;OICI;FA;;;" ALICE_SID ")(A;OICI;FR;;;WD)"},
             {{R"(C:\users\root\Temp)", "O:" ALICE_SID "D:(A;OICI;FA;;;SY)(A;OICI;FA;;;" ALICE_SID ")"}},
             std::nullopt,
             "O:" ALICE_SID "D:(A;;FA;;;" ALICE_SID ")",
             {},
             ALICE_SID},
        Case{"EveryoneMayModify",
             {R"(C:\x)", "O:BAD:(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1301bf;;;WD)"},
             {},
             refused(RefusalReason::Writable, R"(C:\x)", "S-1-1-0")},
        Case{"FolderMadeUnderProgramData",
             {R"(C:\ProgramData\Ostrane)",
              "O:BAD:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIIOID;GA;;;CO)(A;OICIID;0x1200a9;;;BU)"
              "(A;CIID;DCLCRPCR;;;BU)"},
             {},
             refused(RefusalReason::Writable, R"(C:\ProgramData\Ostrane)", "S-1-5-32-545")},
        Case{"GenericWriteForUsersOnTheFile",
             OSTRANE,
             {},
             refused(RefusalReason::Writable, OSTRANE.path + "\\ostrane.exe", "S-1-5-32-545"),
             "O:BAD:(A;;FA;;;BA)(A;;GW;;;BU)"},
        // Write attributes or extended attributes set a reparse point: the
        // empty framework folder becomes a junction to the user's tools,
        // the program a file nothing can start.
        Case{"WriteAttributesForUsers",
             {R"(C:\x)", "O:BAD:(A;;FA;;;BA)(A;;0x1201a9;;;BU)"},
             {},
             refused(RefusalReason::Writable, R"(C:\x)", "S-1-5-32-545")},
        Case{"WriteAttributesOnAnEmptyFrameworkFolder",
             OSTRANE,
             PROGRAM_FILES,
             refused(RefusalReason::Writable, OSTRANE.path + "\\framework", "S-1-5-32-545"),
             FILE_PUT_THERE,
             {{OSTRANE.path + "\\framework", "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;;0x1201a9;;;BU)"}}},
        Case{"WriteExtendedAttributesOnTheProgram",
             OSTRANE,
             PROGRAM_FILES,
             refused(RefusalReason::Writable, OSTRANE.path + "\\ostrane.exe", "S-1-5-32-545"),
             "O:BAD:(A;;FA;;;BA)(A;;0x1200b9;;;BU)"},
        // With add-file, a file symbolic link of the child's name.
        Case{"ParentLetsUsersAddFilesAndDeleteChildren",
             {R"(D:\Apps\Ostrane)", ADMINS_ONLY},
             {{R"(D:\Apps)", "O:BAD:(A;;FA;;;BA)(A;;DCDT;;;BU)"}, {R"(D:\)", ADMINS_ONLY}},
             refused(RefusalReason::Replaceable, R"(D:\Apps\Ostrane)", "S-1-5-32-545")},
        Case{"ParentLetsUsersAddFilesOnly",
             {R"(D:\Apps\Ostrane)", ADMINS_ONLY},
             {{R"(D:\Apps)", "O:BAD:(A;;FA;;;BA)(A;;DC;;;BU)"}, {R"(D:\)", ADMINS_ONLY}},
             std::nullopt},
        // The system's access check reads what the rule cannot.
        Case{"ACompoundEntry",
             {R"(C:\x)", "O:BAD:(A;;FA;;;BA)(0x04;;FA;;;WD)"},
             {},
             refused(RefusalReason::UnknownEntry, R"(C:\x)")},
        Case{"AnEntryOfATypeNewerThanTheRule",
             OSTRANE,
             {{R"(C:\Program Files)", "O:BAD:(A;;FA;;;BA)(0x16;;FA;;;WD)"}, {R"(C:\)", STOCK_ROOT}},
             refused(RefusalReason::UnknownEntry, R"(C:\Program Files)")},
        Case{"CallbackAndObjectEntriesGrantAsTheirsDo",
             {R"(C:\x)", "O:BAD:(A;;FA;;;BA)(XA;;0x1200a9;;;BU)(OA;;GW;;;WD)"},
             {},
             refused(RefusalReason::Writable, R"(C:\x)", "S-1-1-0")},
        Case{"DenyAuditAndLabelEntriesGrantNothing",
             {R"(C:\x)", "O:BAD:(D;;0x1301bf;;;WD)(A;;FA;;;SY)(A;;FA;;;BA)(AU;;FA;;;WD)(XD;;FA;;;WD)(ML;;0x1;;;S-1-16-4096)"},
             {},
             std::nullopt},
        Case{"EmptyDacl", {R"(C:\x)", "O:BAD:"}, {}, std::nullopt},
        Case{"NullDacl", {R"(C:\x)", "O:BAD:NO_ACCESS_CONTROL"}, {}, refused(RefusalReason::NullDacl, R"(C:\x)", "S-1-1-0")},
        Case{"NullDaclOnAParent",
             {R"(D:\x\Ostrane)", ADMINS_ONLY},
             {{R"(D:\x)", "O:BAD:NO_ACCESS_CONTROL"}},
             refused(RefusalReason::NullDacl, R"(D:\x)", "S-1-1-0")}};
}
#pragma GCC diagnostic pop

INSTANTIATE_TEST_SUITE_P(Service, InstallLocation, testing::ValuesIn(cases()),
                         [](const auto& test) { return test.param.name; });

TEST(InstallLocation, FinalPathsAndFolderChains) {
  EXPECT_EQ(local_path_from_final(R"(\\?\C:\Program Files\Ostrane\ostrane.exe)"),
            R"(C:\Program Files\Ostrane\ostrane.exe)");
  for (const std::string_view remote : {R"(\\?\UNC\server\share\ostrane.exe)", R"(\\?\Volume{0f}\ostrane.exe)",
                                        R"(\\server\share\ostrane.exe)", R"(C:\ostrane.exe)"}) {
    const auto refusal = local_path_from_final(remote);
    ASSERT_FALSE(refusal.has_value()) << remote;
    EXPECT_EQ(refusal.error().reason, RefusalReason::NotLocal);
    EXPECT_EQ(refusal.error().path, remote);
  }
  EXPECT_EQ(folder_and_parents(R"(C:\Program Files\Ostrane)"),
            (std::vector<std::string>{R"(C:\Program Files\Ostrane)", R"(C:\Program Files)", R"(C:\)"}));
  EXPECT_EQ(folder_and_parents(R"(C:\)"), std::vector<std::string>{R"(C:\)"});
}

TEST(InstallLocation, RefusalSaysWhoWhereAndWhereInstead) {
  const std::string instead =
      " ; placez ostrane.exe dans un dossier où seuls les administrateurs peuvent écrire, par exemple "
      R"(C:\Program Files\Ostrane)";
  EXPECT_EQ(
      msg_install_refused(refused(RefusalReason::Writable, R"(C:\ProgramData\Ostrane)", "S-1-5-32-545"),
                          R"(BUILTIN\Users)"),
      R"(installation refusée : « BUILTIN\Users » (S-1-5-32-545) peut modifier C:\ProgramData\Ostrane)" + instead);
  EXPECT_EQ(
      msg_install_refused(refused(RefusalReason::Owner, R"(C:\Users\alice\outils)", ALICE_SID), std::nullopt),
      R"(installation refusée : S-1-5-21-1-2-3-1001, propriétaire de C:\Users\alice\outils, peut en changer les droits)" +
          instead);
  EXPECT_EQ(
      msg_install_refused(refused(RefusalReason::NullDacl, R"(D:\x\ostrane.exe)", "S-1-1-0"), "Everyone"),
      R"(installation refusée : tout le monde peut modifier D:\x\ostrane.exe, qui n'a pas de liste de contrôle d'accès)" +
          instead);
  EXPECT_EQ(msg_install_refused(refused(RefusalReason::Replaceable, R"(D:\Apps)", "S-1-5-11"),
                                R"(NT AUTHORITY\Authenticated Users)"),
            R"(installation refusée : « NT AUTHORITY\Authenticated Users » (S-1-5-11) peut remplacer D:\Apps)" + instead);
  EXPECT_EQ(msg_install_refused(refused(RefusalReason::ReparsePoint, R"(D:\x)"), std::nullopt),
            R"(installation refusée : D:\x est une jonction, un lien symbolique ou un autre point d'analyse)" + instead);
  EXPECT_EQ(msg_install_refused(refused(RefusalReason::NotLocal, R"(\\?\UNC\s\d\ostrane.exe)"), std::nullopt),
            R"(installation refusée : \\?\UNC\s\d\ostrane.exe n'est pas sur un disque local : ses droits ne sont pas )"
            "ceux de cette machine" +
                instead);
  EXPECT_EQ(msg_install_refused({RefusalReason::Unreadable, R"(C:\x)", "", "Accès refusé. (os error 5)"}, std::nullopt),
            R"(installation refusée : droits de C:\x illisibles : Accès refusé. (os error 5))");
  EXPECT_EQ(msg_install_refused({RefusalReason::UnknownEntry, R"(C:\x)", "", "", 4}, std::nullopt),
            R"(installation refusée : les droits de C:\x ont une entrée de type 4, que la vérification ne sait pas )"
            "lire" +
                instead);
  EXPECT_EQ(msg_run_refused(refused(RefusalReason::Writable, R"(C:\O\powershell.exe)", "S-1-5-32-545"),
                            R"(BUILTIN\Users)"),
            R"(« BUILTIN\Users » (S-1-5-32-545) peut modifier C:\O\powershell.exe ; le service n'exécute rien)");
}

}  // namespace
}  // namespace ostrane
