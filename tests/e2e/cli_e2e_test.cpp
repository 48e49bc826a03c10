// The command line of the real executable, byte for byte, under Wine.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/e2e/ostrane_process.h"

namespace ostrane::e2e {
namespace {

// Written out here rather than taken from the program, so that a typo in the
// program's copy shows.
const std::string kUsage =
    "Usage :\n"
    "  ostrane detect   [--profiles DIR] [--out FICHIER]\n"
    "  ostrane profiles [--profiles DIR]\n"
    "  ostrane service  install|uninstall   (Windows : gestionnaire de services)\n"
    "  ostrane --service                    (interne : lanc\xC3\xA9 par Windows)\n"
    "\n"
    "Options :\n"
    "  --profiles  dossier des profils machine TOML (d\xC3\xA9"
    "faut : ./profiles)\n"
    "  --out       \xC3\xA9" "crit le rapport JSON anonymis\xC3\xA9 dans FICHIER (detect uniquement)\n"
    "\n"
    "La lecture se fait toujours sur la machine locale, en lecture seule.\n"
    "\n"
    "Sortie : JSON sur stdout. Codes de sortie : 0 succ\xC3\xA8s, 1 erreur, 2 usage.";

std::string usage_error(const std::string& message) { return "erreur : " + message + "\n\n" + kUsage + "\n"; }

struct Case {
  std::string name;
  std::vector<std::string> args;
  int exit_code;
  std::string out;
  std::string err;
};

class CommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(ostrane_exe()))
        << ostrane_exe() << " is missing: build the windows preset first";
  }
};

TEST_F(CommandLine, UsageTextIsItsOwnSize) { EXPECT_EQ(kUsage.size(), 548u); }

TEST_F(CommandLine, AnswersEveryFormWithTheExactStreamsAndStatus) {
  const std::string help = kUsage + "\n";
  const Case cases[] = {
      {"no argument", {}, 2, help, ""},
      {"-h", {"-h"}, 0, help, ""},
      {"--help", {"--help"}, 0, help, ""},
      {"--help then words", {"--help", "detect", "--out"}, 0, help, ""},
      {"-h then words", {"-h", "service"}, 0, help, ""},
      {"detect -h", {"detect", "-h"}, 2, "", usage_error("valeur manquante pour -h")},
      {"detect --service", {"detect", "--service"}, 2, "", usage_error("valeur manquante pour --service")},
      {"detect --service install", {"detect", "--service", "install"}, 2, "",
       usage_error("option inconnue : --service")},
      {"detect --out", {"detect", "--out"}, 2, "", usage_error("valeur manquante pour --out")},
      {"profiles --bogus x", {"profiles", "--bogus", "x"}, 2, "", usage_error("option inconnue : --bogus")},
      {"install", {"install"}, 2, "", "commande inconnue : install\n\n" + kUsage + "\n"},
      {"Detect", {"Detect"}, 2, "", "commande inconnue : Detect\n\n" + kUsage + "\n"},
      {"accented command", {"d\xC3\xA9tecte"}, 2, "", "commande inconnue : d\xC3\xA9tecte\n\n" + kUsage + "\n"},
      {"install --out", {"install", "--out"}, 2, "", usage_error("valeur manquante pour --out")},
      {"--out FICHIER detect", {"--out", "FICHIER", "detect"}, 2, "", usage_error("option inconnue : FICHIER")},
      {"service", {"service"}, 2, "", usage_error("sous-action manquante pour service : install ou uninstall")},
      {"service start", {"service", "start"}, 2, "",
       "commande service inconnue (install ou uninstall)\n\n" + kUsage + "\n"},
      {"empty argument as command", {""}, 2, "", "commande inconnue : \n\n" + kUsage + "\n"},
      // From a console the service manager refuses to dispatch (this Wine
      // does as Windows does, after a 10 s wait); the words after --service
      // change nothing.
      {"--service install", {"--service", "install"}, 1, "",
       "erreur : d\xC3\xA9marrage par le Gestionnaire de services refus\xC3\xA9 (code 1063)\n"},
  };
  for (const auto& c : cases) {
    const ProcessResult r = run_ostrane({.args = c.args});
    EXPECT_EQ(r.exit_code, c.exit_code) << c.name;
    EXPECT_EQ(r.out, c.out) << c.name;
    EXPECT_EQ(r.err, c.err) << c.name;
  }
}

// What a terminal shows, without Wine's control sequences and the CR that
// the terminal adds before each line feed.
std::string visible_text(std::string_view raw) {
  std::string text;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\x1b' && i + 1 < raw.size() && raw[i + 1] == '[') {
      i += 2;
      while (i < raw.size() && !(raw[i] >= '@' && raw[i] <= '~')) ++i;
    } else if (raw[i] != '\r') {
      text.push_back(raw[i]);
    }
  }
  return text;
}

TEST_F(CommandLine, AConsoleShowsTheAccents) {
  const ProcessResult r = run_ostrane_on_terminal({"--help"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(visible_text(r.out), kUsage + "\n");
}

}  // namespace
}  // namespace ostrane::e2e
