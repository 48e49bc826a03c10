// `detect` and `profiles` of the real executable under Wine, with the
// firmware chosen through /sys/class/dmi/id, compared byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "src/common/text.h"
#include "tests/e2e/ostrane_process.h"

namespace ostrane::e2e {
namespace {

namespace fs = std::filesystem;

const std::string kNotice =
    "Ostrane est un projet ind\xC3\xA9pendant et NON OFFICIEL. Il n'est ni d\xC3\xA9velopp\xC3\xA9, ni approuv\xC3\xA9, "
    "ni soutenu par Lenovo. ThinkPad et Lenovo sont des marques de Lenovo. Fourni sans garantie : utilisation \xC3\xA0 "
    "vos risques.";

// Labels as JSON literals.
const std::string kMan = "\"SMBIOS type 1 (System) : Manufacturer\"";
const std::string kPn = "\"SMBIOS type 1 (System) : Product Name\"";
const std::string kVer = "\"SMBIOS type 1 (System) : Version\"";
const std::string kFam = "\"SMBIOS type 1 (System) : Family\"";
const std::string kBoard = "\"SMBIOS type 2 (Baseboard) : Product\"";
const std::string kBv = "\"SMBIOS type 0 (BIOS) : Vendor\"";
const std::string kBver = "\"SMBIOS type 0 (BIOS) : Version\"";
const std::string kBdate = "\"SMBIOS type 0 (BIOS) : Release Date\"";
const std::string N = "null";

std::string q(const std::string& json_text) { return "\"" + json_text + "\""; }

// The values as JSON literals, in report order.
struct Report {
  std::string manufacturer = N, mtm = N, display_name = N, bios_vendor = N, bios_version = N, bios_date = N;
  std::string resolution, profile_id = N;
  int loaded = 0;
  std::string display_label = N;
};

std::string text_of(const Report& r) {
  const auto label = [](const std::string& value, const std::string& text) { return value == N ? N : text; };
  return "{\n"
         "  \"notice\": \"" + kNotice + "\",\n"
         "  \"backend\": \"windows-native\",\n"
         "  \"manufacturer\": " + r.manufacturer + ",\n"
         "  \"mtm\": " + r.mtm + ",\n"
         "  \"display_name\": " + r.display_name + ",\n"
         "  \"bios_vendor\": " + r.bios_vendor + ",\n"
         "  \"bios_version\": " + r.bios_version + ",\n"
         "  \"bios_release_date\": " + r.bios_date + ",\n"
         "  \"resolution\": \"" + r.resolution + "\",\n"
         "  \"profile_id\": " + r.profile_id + ",\n"
         "  \"profiles_loaded\": " + std::to_string(r.loaded) + ",\n"
         "  \"sources\": {\n"
         "    \"manufacturer\": " + label(r.manufacturer, kMan) + ",\n"
         "    \"mtm\": " + label(r.mtm, kPn) + ",\n"
         "    \"display_name\": " + r.display_label + ",\n"
         "    \"bios_vendor\": " + label(r.bios_vendor, kBv) + ",\n"
         "    \"bios_version\": " + label(r.bios_version, kBver) + ",\n"
         "    \"bios_release_date\": " + label(r.bios_date, kBdate) + "\n"
         "  }\n"
         "}\n";
}

std::string listing_of(const std::vector<std::string>& summaries) {
  if (summaries.empty()) return "{\n  \"notice\": \"" + kNotice + "\",\n  \"profiles\": []\n}\n";
  std::string body;
  for (std::size_t i = 0; i < summaries.size(); ++i) body += (i ? ",\n" : "") + summaries[i];
  return "{\n  \"notice\": \"" + kNotice + "\",\n  \"profiles\": [\n" + body + "\n  ]\n}\n";
}

std::string summary(std::string id, std::string name, std::string scope, int capabilities) {
  return "    {\n      \"id\": \"" + id + "\",\n      \"display_name\": \"" + name + "\",\n      \"scope\": \"" + scope +
         "\",\n      \"capabilities\": " + std::to_string(capabilities) + "\n    }";
}

constexpr std::string_view kSerial = "PF-SERIAL-7Q3X9";

const char* kFamilyThinkPadP = R"(schema_version = 1
id = "famille-p"
display_name = "ThinkPad P"
scope = "family"
[matches]
version_contains = ["ThinkPad P"]
)";
const char* kFamilyAll = R"(schema_version = 1
id = "famille-x1"
display_name = "ThinkPad X1"
scope = "family"
[matches]
version_contains = ["thinkpad x1"]
)";
const char* kModelX1 = R"(schema_version = 1
id = "x1-carbon-gen9"
display_name = "ThinkPad X1 Carbon Gen 9"
scope = "model"
[matches]
mtm = ["20xw", "20XX"]
[[capabilities]]
id = "kbd"
label = "Clavier"
access = { method = "platform_profile" }
confidence = "assumed"
sources = ["manuel"]
)";

class Detect : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(ostrane_exe())) << ostrane_exe() << " is missing: build the windows preset first";
    dir_ = fs::temp_directory_path() / ("ostrane-e2e-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    // The family files sort first: an exact match must still win.
    write("p/a-famille-x1.toml", kFamilyAll);
    write("p/b-famille-p.toml", kFamilyThinkPadP);
    write("p/x1.toml", kModelX1);
    write("p/notes.md", "pas un profil");
    fs::create_directories(dir_ / "vide");
  }
  void TearDown() override { fs::remove_all(dir_); }

  void write(const std::string& relative, std::string_view content) {
    fs::create_directories((dir_ / relative).parent_path());
    std::ofstream(dir_ / relative, std::ios::binary) << content;
  }
  std::string read(const std::string& relative) {
    std::ifstream in(dir_ / relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  ProcessResult run(std::vector<std::string> args, std::optional<DmiFiles> dmi = std::nullopt) {
    return run_ostrane({.args = std::move(args), .working_dir = dir_.string(), .dmi = std::move(dmi)});
  }

  fs::path dir_;
};

struct IdentityCase {
  std::string name;
  DmiFiles files;
  Report expected;
};

DmiFiles with_bios(DmiFiles files) {
  files.emplace("bios_vendor", "LENOVO\n");
  files.emplace("bios_version", "N32ET75W (1.51 )\n");
  files.emplace("bios_date", "12/06/2021\n");
  files.emplace("product_serial", std::string(kSerial) + "\n");
  return files;
}

TEST_F(Detect, ReportsEachKindOfMachineExactly) {
  if (auto why = dmi_namespace_unavailable()) GTEST_SKIP() << *why;
  const std::string bv = q("LENOVO"), bver = q("N32ET75W (1.51 )"), bdate = q("12/06/2021");
  const IdentityCase cases[] = {
      {"exact beats the families before it",
       with_bios({{"sys_vendor", "LENOVO\n"},
                  {"product_name", "20XWCTO1WW\n"},
                  {"product_version", "ThinkPad X1 Carbon Gen 9\n"},
                  {"product_family", "ThinkPad X1 Carbon Gen 9\n"},
                  {"board_name", "20XWCTO1WW\n"}}),
       {q("LENOVO"), q("20XW"), q("ThinkPad X1 Carbon Gen 9"), bv, bver, bdate, "exact", q("x1-carbon-gen9"), 3,
        kVer}},
      {"family",
       with_bios({{"sys_vendor", "LENOVO\n"}, {"product_name", "21FWS98U00\n"}, {"product_version", "ThinkPad P1 Gen 6\n"}}),
       {q("LENOVO"), q("21FW"), q("ThinkPad P1 Gen 6"), bv, bver, bdate, "family", q("famille-p"), 3, kVer}},
      {"ThinkPad without a profile",
       with_bios({{"sys_vendor", "LENOVO\n"}, {"product_name", "20RAS0SA00\n"}, {"product_version", "ThinkPad E14\n"}}),
       {q("LENOVO"), q("20RA"), q("ThinkPad E14"), bv, bver, bdate, "dynamic_probe", N, 3, kVer}},
      {"Lenovo that is no ThinkPad",
       with_bios({{"sys_vendor", "LENOVO\n"}, {"product_name", "81J7\n"}, {"product_version", "Lenovo ideapad S530-13IWL\n"}}),
       {q("LENOVO"), q("81J7"), q("Lenovo ideapad S530-13IWL"), bv, bver, bdate, "unsupported", N, 3, kVer}},
      {"family field after a placeholder version",
       {{"sys_vendor", "Dell Inc.\n"}, {"product_name", "Latitude 9520\n"}, {"product_version", "Not Specified\n"},
        {"product_family", "Latitude\n"}, {"bios_vendor", "Dell Inc.\n"}},
       {q("Dell Inc."), N, q("Latitude"), q("Dell Inc."), N, N, "dynamic_probe", N, 3, kFam}},
      {"padded product name when it gives no machine type",
       {{"sys_vendor", "SAMSUNG ELECTRONICS CO., LTD.\n"}, {"product_name", "R580/R590                  \n"},
        {"product_version", "Not Applicable\n"}},
       {q("SAMSUNG ELECTRONICS CO., LTD."), N, q("R580/R590"), N, N, N, "dynamic_probe", N, 3, kPn}},
      {"baseboard, not the product name that gave the type",
       {{"sys_vendor", "LENOVO\n"}, {"product_name", "20ZZCTO1WW\n"}, {"product_version", "System Version\n"},
        {"board_name", "20ZZCTO1WW\n"}},
       {q("LENOVO"), q("20ZZ"), q("20ZZCTO1WW"), N, N, N, "unsupported", N, 3, kBoard}},
      {"placeholder manufacturer, BIOS placeholder kept",
       {{"sys_vendor", "To Be Filled By O.E.M.\n"}, {"product_name", "To be filled by O.E.M.\n"},
        {"board_name", "CRESCENTBAY\n"}, {"bios_vendor", "Default string\n"}},
       {N, N, q("CRESCENTBAY"), q("Default string"), N, N, "unsupported", N, 3, kBoard}},
      {"quotes, backslashes, control characters and accents",
       {{"sys_vendor", "Acm\xC3\xA9 \"Labs\"\n"}, {"product_version", "C:\\x\tb\x01\n"},
        {"bios_version", "v\xE2\x82\xAC\x1f\n"}},
       {q("Acm\xC3\xA9 \\\"Labs\\\""), N, q("C:\\\\x\\tb\\u0001"), N, q("v\xE2\x82\xAC\\u001f"), N, "unsupported", N, 3,
        kVer}},
      {"nothing at all", {}, {N, N, N, N, N, N, "unsupported", N, 3, N}},
  };
  for (const auto& c : cases) {
    const ProcessResult r = run({"detect", "--profiles", "p"}, c.files);
    EXPECT_EQ(r.exit_code, 0) << c.name;
    EXPECT_EQ(r.err, "") << c.name;
    EXPECT_EQ(r.out, text_of(c.expected)) << c.name;
    EXPECT_EQ(r.out.find(kSerial), std::string::npos) << c.name;
  }
}

int toml_files_in(const std::string& dir) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(dir)) count += entry.path().extension() == ".toml";
  return count;
}

// The shipped collection knows ThinkPads of every generation by their
// machine type, and gives a new type of a known line to its family.
TEST_F(Detect, TheShippedCollectionKnowsThinkPadsOfEveryGeneration) {
  if (auto why = dmi_namespace_unavailable()) GTEST_SKIP() << *why;
  const std::string shipped = OSTRANE_PROFILES_DIR;
  const int loaded = toml_files_in(shipped);
  struct Case {
    std::string product_name, version, resolution, profile_id;
  };
  const Case cases[] = {
      {"7661A12", "ThinkPad T61", "exact", "t61"},
      {"1141A12", "ThinkPad E420", "exact", "e420"},
      {"2325AB1", "ThinkPad X230", "exact", "x230"},
      {"2OAMS0T700", "ThinkPad X240", "exact", "x240"},
      {"20AWS0T700", "ThinkPad T440p", "exact", "t440p"},
      {"20L5CTO1WW", "ThinkPad T480", "exact", "t480"},
      {"20XWCTO1WW", "ThinkPad X1 Carbon Gen 9", "exact", "x1-carbon-gen9"},
      {"21D4CTO1WW", "ThinkPad Z16 Gen 1", "exact", "z16-gen1"},
      {"21KVCTO1WW", "ThinkPad P1 Gen 7", "exact", "p1-gen7"},
      {"20D9S00M00", "ThinkPad 11e", "family", "family-education"},
      {"21ZZCTO1WW", "ThinkPad T14 Gen 9", "family", "family-t14"},
  };
  const std::string bv = q("LENOVO"), bver = q("N32ET75W (1.51 )"), bdate = q("12/06/2021");
  for (const Case& c : cases) {
    const ProcessResult r = run({"detect", "--profiles", shipped},
                                with_bios({{"sys_vendor", "LENOVO\n"},
                                           {"product_name", c.product_name + "\n"},
                                           {"product_version", c.version + "\n"}}));
    const Report expected{q("LENOVO"), q(ascii_upper(c.product_name.substr(0, 4))), q(c.version), bv, bver, bdate,
                          c.resolution, q(c.profile_id), loaded, kVer};
    EXPECT_EQ(r.exit_code, 0) << c.version << "\n" << r.err;
    EXPECT_EQ(r.out, text_of(expected)) << c.version;
  }
}

// The five Lenovo consumer laptops of the sample whose product name is a
// five-digit product number: that number names no machine type, so the
// first four digits never reach a ThinkPad profile; the model's family
// takes the machine by its name.
TEST_F(Detect, FiveDigitProductNumbersOfTheSampleGiveNoMachineType) {
  if (auto why = dmi_namespace_unavailable()) GTEST_SKIP() << *why;
  const std::string shipped = OSTRANE_PROFILES_DIR;
  const int loaded = toml_files_in(shipped);
  struct Case {
    std::string product_name, version, family, board, bios_version, bios_date, profile_id;
  };
  const Case cases[] = {
      {"20206", "Lenovo B590", "Lenovo B590", "20206  ", "H9ET92WW(1.29)", "08/06/2015", "family-b590"},
      {"20384", "Lenovo B50-70", "IDEAPAD", "Lenovo B50-70", "9DCN22WW(V2.03)", "08/21/2014", "family-b50-70"},
      {"20238", "Lenovo G510", "IDEAPAD", "INVALID", "79CN50WW(V3.09)", "10/20/2014", "family-g510"},
      {"20298", "Lenovo IdeaPad S510p", "IDEAPAD", "Lenovo IdeaPad S510p", "89CN32WW", "11/22/2013",
       "family-ideapad-s510p"},
  };
  for (const Case& c : cases) {
    const ProcessResult r = run({"detect", "--profiles", shipped},
                                DmiFiles{{"sys_vendor", "LENOVO\n"},
                                         {"product_name", c.product_name + "\n"},
                                         {"product_version", c.version + "\n"},
                                         {"product_family", c.family + "\n"},
                                         {"board_name", c.board + "\n"},
                                         {"bios_vendor", "LENOVO\n"},
                                         {"bios_version", c.bios_version + "\n"},
                                         {"bios_date", c.bios_date + "\n"}});
    const Report expected{q("LENOVO"), N, q(c.version), q("LENOVO"), q(c.bios_version), q(c.bios_date),
                          "family", q(c.profile_id), loaded, kVer};
    EXPECT_EQ(r.exit_code, 0) << c.version << "\n" << r.err;
    EXPECT_EQ(r.out, text_of(expected)) << c.version;
  }
}

TEST_F(Detect, OutReplacesAnExistingFileAndLeavesStandardOutputEmpty) {
  write("rapport.json", std::string(10000, 'x'));
  const ProcessResult r = run({"detect", "--profiles", "vide", "--out", "rapport.json"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  const std::string report = read("rapport.json");
  EXPECT_TRUE(report.starts_with("{\n  \"notice\": ")) << report.substr(0, 40);
  EXPECT_TRUE(report.ends_with("\n  }\n}\n"));
  EXPECT_NE(report.find("\"profiles_loaded\": 0,"), std::string::npos);
  EXPECT_EQ(report.find('\r'), std::string::npos);
}

TEST_F(Detect, OutIntoAMissingDirectoryFailsWithTheSystemText) {
  const ProcessResult r = run({"detect", "--profiles", "vide", "--out", "absent/rapport.json"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "erreur : \xC3\xA9" "criture de absent/rapport.json : Path not found. (os error 3)\n");
  EXPECT_FALSE(fs::exists(dir_ / "absent"));
}

TEST_F(Detect, TheListingCanGoToAFileToo) {
  const ProcessResult r = run({"profiles", "--profiles", "vide", "--out", "liste.json"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(read("liste.json"), listing_of({}));
}

TEST_F(Detect, ListsProfilesInByteOrderOfTheirFileNames) {
  write("ordre/a.toml", std::string(kModelX1));
  write("ordre/Z.toml", std::string(kFamilyThinkPadP));
  write("ordre/x.TOML", "n'importe quoi");
  write("ordre/.toml", "n'importe quoi");
  const ProcessResult r = run({"profiles", "--profiles", "ordre"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, listing_of({summary("famille-p", "ThinkPad P", "family", 0),
                               summary("x1-carbon-gen9", "ThinkPad X1 Carbon Gen 9", "model", 1)}));
}

struct DirectoryCase {
  std::string name;
  std::vector<std::pair<std::string, std::string>> files;  // under d/
  std::string dir_argument;
  std::string expected_err;
};

std::string repeat(std::size_t times, std::string_view part, std::string_view between = "") {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) (out += i ? between : "") += part;
  return out;
}

// The error line for a.toml of directory d, whose only line is `line`.
std::string one_line_error(const std::string& line, std::size_t column, std::string_view message) {
  return "erreur : profils (d) : d\\a.toml : TOML invalide : TOML parse error at line 1, column " +
         std::to_string(column) + "\n  |\n1 | " + line + "\n  | " + std::string(column - 1, ' ') + "^\n" +
         std::string(message) + "\n";
}

TEST_F(Detect, BadProfileDirectoriesFailBothCommandsWithTheSameLine) {
  constexpr std::string_view KEY = "Error while parsing key: a dotted key or table name may have at most 256 parts";
  constexpr std::string_view NESTING =
      "Error while parsing value: tables and arrays may nest at most 256 levels deep, counting the parts of their "
      "keys";
  constexpr std::string_view UNKNOWN_X =
      "unknown field `x`, expected one of `schema_version`, `id`, `display_name`, `scope`, `matches`, "
      "`capabilities`";
  // Small files that each overflowed the stack, in the TOML library or in
  // the walk after it, and one long line that took minutes to be refused.
  const std::string key = repeat(10000, "a", ".") + " = 1";
  const std::string accented = repeat(30000, "\u00E9", ".") + " = 1";
  const std::string plus = repeat(60000, "+", ".") + " = 1";
  const std::string key250 = repeat(250, "k", ".");
  const std::string inline_head = "x = { " + key250 + " = { ";
  const std::string inline_tables =
      inline_head + key250 + " = " + repeat(98, "{ " + key250 + " = ") + "1" + repeat(100, " }");
  const std::string arrays_head = "x = " + repeat(85, "[{a = ");
  const std::string arrays_of_tables = arrays_head + repeat(35, "[{a = ") + "1" + repeat(120, "}]");
  const std::string long_line = "x = [" + repeat(800000, "1", ",") + "]";
  const DirectoryCase cases[] = {
      {"a key of 10,000 parts", {{"a.toml", key + "\n"}}, "d", one_line_error(key, 1, KEY)},
      {"a key of 30,000 accented parts", {{"a.toml", accented + "\n"}}, "d", one_line_error(accented, 1, KEY)},
      {"a key of 60,000 parts '+'", {{"a.toml", plus + "\n"}}, "d", one_line_error(plus, 1, KEY)},
      {"100 inline tables keyed by 250 parts", {{"a.toml", inline_tables + "\n"}}, "d",
       one_line_error(inline_tables, inline_head.size() + 1, NESTING)},
      {"120 arrays of inline tables", {{"a.toml", arrays_of_tables + "\n"}}, "d",
       one_line_error(arrays_of_tables, arrays_head.size() + 1, NESTING)},
      {"a line of 1.6 MB", {{"a.toml", long_line + "\n"}}, "d", one_line_error(long_line, 1, UNKNOWN_X)},
      {"missing directory", {}, "absent", "erreur : profils (absent) : Path not found. (os error 3)\n"},
      {"a directory named old.toml", {{"b.toml", kModelX1}}, "d",
       "erreur : profils (d) : Access denied. (os error 5)\n"},
      // Opening these waited for console input, and the sparse file was
      // read whole into memory.
      {"a profile named CON.toml", {{"CON.toml", kModelX1}}, "d",
       "erreur : profils (d) : d\\CON.toml : n'est pas un fichier sur disque (p\xC3\xA9riph\xC3\xA9rique, tube ou "
       "autre)\n"},
      {"a profile named aux.toml", {{"aux.toml", kModelX1}, {"b.toml", kModelX1}}, "d",
       "erreur : profils (d) : d\\aux.toml : n'est pas un fichier sur disque (p\xC3\xA9riph\xC3\xA9rique, tube ou "
       "autre)\n"},
      {"a sparse profile of 16 GiB", {}, "d",
       "erreur : profils (d) : d\\a.toml : fichier de plus de 8388608 octets, trop grand pour un profil\n"},
      {"a file that is not UTF-8", {{"a.toml", "schema_version = 1\nid = \"\xE9t\xE9\"\n"}}, "d",
       "erreur : profils (d) : stream did not contain valid UTF-8\n"},
      {"a TOML error names the file", {{"a.toml", "schema_version = 1\nid = \"a\"\nlabel = 3\n"}, {"b.toml", kModelX1}},
       "d",
       "erreur : profils (d) : d\\a.toml : TOML invalide : TOML parse error at line 3, column 1\n"
       "  |\n"
       "3 | label = 3\n"
       "  | ^^^^^\n"
       "unknown field `label`, expected one of `schema_version`, `id`, `display_name`, `scope`, `matches`, "
       "`capabilities`\n"},
      {"a validation error after a trailing slash", {{"carbon.toml", R"(schema_version = 1
id = "carbon"
display_name = "X1"
scope = "model"
[matches]
mtm = ["20XW-"]
)"}},
       "d/", "erreur : profils (d/) : d/carbon.toml : profil \xC2\xAB carbon \xC2\xBB : MTM mal form\xC3\xA9 : \xC2\xAB 20XW- \xC2\xBB\n"},
  };
  for (const auto& c : cases) {
    fs::remove_all(dir_ / "d");
    fs::create_directories(dir_ / "d");
    if (c.name == "a directory named old.toml") fs::create_directories(dir_ / "d" / "old.toml");
    if (c.name == "a sparse profile of 16 GiB") {
      std::ofstream(dir_ / "d" / "a.toml").close();
      fs::resize_file(dir_ / "d" / "a.toml", std::uintmax_t{16} << 30);
    }
    for (const auto& [name, content] : c.files) write("d/" + name, content);
    for (const std::string command : {"detect", "profiles"}) {
      const ProcessResult r = run({command, "--profiles", c.dir_argument});
      EXPECT_EQ(r.exit_code, 1) << c.name << " / " << command;
      EXPECT_EQ(r.out, "") << c.name << " / " << command;
      EXPECT_EQ(r.err, c.expected_err) << c.name << " / " << command;
    }
  }
}

TEST_F(Detect, AFullStandardOutputIsAFailure) {
  // Wine maps the host's ENOSPC to ERROR_DISK_FULL.
  const ProcessResult r = run_ostrane({.args = {"profiles", "--profiles", (dir_ / "vide").string()},
                                       .stdout_path = "/dev/full"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "erreur : \xC3\xA9" "criture de la sortie standard : Disk full. (os error 112)\n");
}

}  // namespace
}  // namespace ostrane::e2e
