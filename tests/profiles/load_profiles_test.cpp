#include "src/profiles/load_profiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/profiles/profile_files.h"

namespace ostrane {
namespace {

using testing::FakeFileReader;

std::string model_toml(std::string_view id, std::string_view mtm) {
  return "schema_version = 1\nid = \"" + std::string(id) + "\"\ndisplay_name = \"ThinkPad\"\nscope = \"model\"\n" +
         "[matches]\nmtm = [\"" + std::string(mtm) + "\"]\n";
}

TEST(JoinProfilePath, AddsABackslashUnlessTheDirectoryEndsWithASeparator) {
  EXPECT_EQ(join_profile_path("profiles", "a.toml"), "profiles\\a.toml");
  EXPECT_EQ(join_profile_path("C:\\p\\", "a.toml"), "C:\\p\\a.toml");
  EXPECT_EQ(join_profile_path("p/", "a.toml"), "p/a.toml");
  EXPECT_EQ(join_profile_path("./p", "a.toml"), "./p\\a.toml");
}

TEST(HasTomlExtension, LooksAfterTheLastDotOnly) {
  struct Case {
    std::string_view name;
    bool expected;
  };
  const Case cases[] = {
      {"x1.toml", true},   {"a.b.toml", true}, {"..toml", true},       {".toml", false},
      {"X1.TOML", false},  {"x.TOML", false},  {"x1.toml.bak", false}, {"toml", false},
      {"x1.toml.", false}, {"x1toml", false},  {"readme.md", false},   {"é.toml", true},
  };
  for (const auto& c : cases) EXPECT_EQ(has_toml_extension(c.name), c.expected) << c.name;
}

TEST(LoadProfiles, KeepsTomlFilesInByteOrderOfTheirNames) {
  FakeFileReader files;
  files.listing = {"t14s.toml", "readme.md", "a.toml", "x.TOML", "Z.toml", "t14.toml", ".toml"};
  files.files = {{"D\\t14s.toml", model_toml("t14s", "20T0")},
                 {"D\\a.toml", model_toml("a", "20A0")},
                 {"D\\Z.toml", model_toml("Z", "20Z0")},
                 {"D\\t14.toml", model_toml("t14", "20T1")}};
  const auto loaded = load_profiles("D", files);
  ASSERT_TRUE(loaded.has_value()) << loaded.error();
  std::vector<std::string> ids;
  for (const auto& p : *loaded) ids.push_back(p.id);
  EXPECT_EQ(ids, (std::vector<std::string>{"Z", "a", "t14", "t14s"}));
  EXPECT_EQ(files.reads, (std::vector<std::string>{"D\\Z.toml", "D\\a.toml", "D\\t14.toml", "D\\t14s.toml"}));
}

TEST(LoadProfiles, ADirectoryWithoutTomlFilesGivesAnEmptyList) {
  FakeFileReader files;
  files.listing = {"readme.md", "x.TOML"};
  const auto loaded = load_profiles("profiles", files);
  ASSERT_TRUE(loaded.has_value());
  EXPECT_TRUE(loaded->empty());
  EXPECT_TRUE(files.reads.empty());
}

TEST(LoadProfiles, TheFirstBadFileEndsTheLoadAndLaterOnesAreNotRead) {
  FakeFileReader files;
  files.listing = {"b.toml", "a.toml"};
  files.files = {{"p\\a.toml", model_toml("a", "20X")}, {"p\\b.toml", model_toml("b", "20B0")}};
  const auto loaded = load_profiles("p", files);
  ASSERT_FALSE(loaded.has_value());
  EXPECT_EQ(loaded.error(), "p\\a.toml : profil « a » : MTM mal formé : « 20X »");
  EXPECT_EQ(files.reads, std::vector<std::string>{"p\\a.toml"});
}

TEST(LoadProfiles, ErrorTextsCarryThePathOnlyForProfileErrors) {
  struct Case {
    std::string_view name;
    std::optional<std::string> content;
    std::string expected;
  };
  const Case cases[] = {
      {"unreadable file", std::nullopt, "Accès refusé. (os error 5)"},
      {"not UTF-8", std::string("schema_version = 1\nid = \"\xFF\"\n"), "stream did not contain valid UTF-8"},
      {"schema version",
       std::string("schema_version = 2\nid = \" \"\ndisplay_name = \"\"\nscope = \"model\"\n[matches]\n"),
       "profiles\\carbon.toml : version de schéma 2 non supportée (attendu 1)"},
      {"blank id",
       std::string("schema_version = 1\nid = \"\"\ndisplay_name = \"\"\nscope = \"model\"\n[matches]\nmtm = "
                   "[\"20XW\"]\n"),
       "profiles\\carbon.toml : profil «  » : identifiant vide"},
  };
  for (const auto& c : cases) {
    FakeFileReader files;
    files.listing = {"carbon.toml"};
    files.files = {{"profiles\\carbon.toml", c.content}};
    const auto loaded = load_profiles("profiles", files);
    ASSERT_FALSE(loaded.has_value()) << c.name;
    EXPECT_EQ(loaded.error(), c.expected) << c.name;
  }
}

TEST(LoadProfiles, ATomlErrorIsPrefixedWithPathAndKind) {
  FakeFileReader files;
  files.listing = {"x.toml"};
  files.files = {{"d/x.toml", std::string("schema_version = 1\nid = \"x\"\n")}};
  const auto loaded = load_profiles("d/", files);
  ASSERT_FALSE(loaded.has_value());
  EXPECT_EQ(loaded.error().rfind("d/x.toml : TOML invalide : TOML parse error at line ", 0), 0u) << loaded.error();
}

TEST(LoadProfiles, AListingErrorIsTheSystemTextAlone) {
  FakeFileReader files;
  files.listing_error = "Le chemin d'accès spécifié est introuvable. (os error 3)";
  const auto loaded = load_profiles("absent", files);
  ASSERT_FALSE(loaded.has_value());
  EXPECT_EQ(loaded.error(), "Le chemin d'accès spécifié est introuvable. (os error 3)");
}

#ifndef _WIN32
// A folder handed to the user may link to anything: the link is named, and
// nothing of what it points to is shown. Wine 8 can make no link of its own
// (CreateSymbolicLinkW makes nothing, FSCTL_SET_REPARSE_POINT is not
// supported) and shows a host link as the file it points to: the Windows
// reader's rule is its reparse tags' (file_reader_test), and this runs on
// the host's reader alone.
TEST(LoadProfiles, ALinkInTheFolderIsNamedAndNotFollowed) {
  namespace fs = std::filesystem;
  const fs::path dir =
      fs::temp_directory_path() / ("ostrane-link-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  fs::remove_all(dir);
  fs::create_directories(dir / "d");
  std::ofstream(dir / "secret.txt", std::ios::binary) << "api_key: 1234\n";
  std::ofstream(dir / "d" / "a.toml", std::ios::binary) << model_toml("a", "20A0");
  fs::create_symlink(dir / "secret.txt", dir / "d" / "zz.toml");
  const std::string folder = (dir / "d").string();
  const auto loaded = load_profiles(folder, SystemFileReader{});
  fs::remove_all(dir);
  ASSERT_FALSE(loaded.has_value());
  EXPECT_EQ(loaded.error(), join_profile_path(folder, "zz.toml") +
                                " : est un lien symbolique, une jonction ou un autre renvoi, qui n'est pas suivi");
}
#endif

// Each file within its own limit, the folder beyond its: the file that
// takes it there is named, and the profiles before it were read.
TEST(LoadProfiles, AFolderOfMoreThanItsLimitIsRefused) {
  constexpr std::size_t FILE_BYTES = std::size_t{7} << 20;
  FakeFileReader files;
  for (const char* name : {"a.toml", "b.toml", "c.toml", "d.toml", "e.toml", "f.toml"}) {
    std::string text = model_toml(name, "20A0") + "# ";
    text.resize(FILE_BYTES, 'x');
    files.listing.emplace_back(name);
    files.files["p\\" + std::string(name)] = text + "\n";
  }
  const auto loaded = load_profiles("p", files);
  ASSERT_FALSE(loaded.has_value());
  EXPECT_EQ(loaded.error(),
            "p\\e.toml : avec ce fichier, les profils du dossier dépassent ensemble 33554432 octets, trop pour un "
            "dossier de profils");
  EXPECT_EQ(files.reads.size(), 5u);
}

TEST(LoadProfiles, TwoFilesMayShareAnId) {
  FakeFileReader files;
  files.listing = {"a.toml", "b.toml"};
  files.files = {{"p\\a.toml", model_toml("same", "20A0")}, {"p\\b.toml", model_toml("same", "20B0")}};
  const auto loaded = load_profiles("p", files);
  ASSERT_TRUE(loaded.has_value());
  EXPECT_EQ(loaded->size(), 2u);
}

}  // namespace
}  // namespace ostrane
