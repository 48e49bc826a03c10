#include "src/backlight/script_runner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ostrane {
namespace {

TEST(ScriptRunner, FileNameHoldsThePid) {
  EXPECT_EQ(script_file_name(4242), "ostrane-keyboard-4242.ps1");
  EXPECT_EQ(script_file_name(0), "ostrane-keyboard-0.ps1");
}

// The compiler of Add-Type writes to TEMP: both names point into the run's
// own folder, whatever their case, and nothing else changes.
TEST(ScriptRunner, ChildEnvironmentNamesTheRunsFolderAsTemp) {
  const std::vector<std::string> inherited = {"=C:=C:\\Windows", "Path=C:\\Windows", "temp=C:\\Windows\\Temp",
                                              "TEMPDIR=x", "USERNAME=SYSTEM", "Tmp=C:\\Windows\\Temp"};
  EXPECT_EQ(child_environment(inherited, "D:\\t"),
            (std::vector<std::string>{"=C:=C:\\Windows", "Path=C:\\Windows", "TEMP=D:\\t", "TEMPDIR=x", "USERNAME=SYSTEM",
                                      "TMP=D:\\t"}));
  EXPECT_EQ(child_environment(std::vector<std::string>{"A=1"}, "D:\\t"),
            (std::vector<std::string>{"A=1", "TEMP=D:\\t", "TMP=D:\\t"}));
}

TEST(ScriptRunner, ArgumentsForReadAndWrite) {
  EXPECT_EQ(script_arguments(R"(C:\Temp\s.ps1)", "read", 0, R"(C:\Program Files\Ostrane\framework)"),
            (std::vector<std::string>{"-NoProfile", "-NonInteractive", "-ExecutionPolicy", "Bypass", "-File",
                                      R"(C:\Temp\s.ps1)", "-Mode", "read", "-Level", "0", "-FrameworkDir",
                                      R"(C:\Program Files\Ostrane\framework)"}));
  const auto write = script_arguments("s.ps1", "write", 2, "");
  ASSERT_EQ(write.size(), 12u);
  EXPECT_EQ(write[7], "write");
  EXPECT_EQ(write[9], "2");
  EXPECT_EQ(write[11], "");
}

struct Quoting {
  std::string argument;
  std::string quoted;
};

class ArgumentQuoting : public testing::TestWithParam<Quoting> {};

TEST_P(ArgumentQuoting, FollowsTheStandardRules) { EXPECT_EQ(quote_argument(GetParam().argument), GetParam().quoted); }

INSTANTIATE_TEST_SUITE_P(
    ScriptRunner, ArgumentQuoting,
    testing::Values(Quoting{"-Mode", "-Mode"}, Quoting{"", R"("")"},
                    Quoting{R"(C:\Temp\ostrane-keyboard-1.ps1)", R"(C:\Temp\ostrane-keyboard-1.ps1)"},
                    Quoting{R"(C:\Program Files\x)", R"("C:\Program Files\x")"},
                    // Trailing backslashes come before the closing quote.
                    Quoting{R"(C:\dir with space\)", R"("C:\dir with space\\")"},
                    Quoting{R"(a"b)", R"("a\"b")"}, Quoting{R"(a\"b)", R"("a\\\"b")"},
                    Quoting{R"(a\\b c)", R"("a\\b c")"}, Quoting{"tab\there", "\"tab\there\""},
                    Quoting{"line\nfeed", "\"line\nfeed\""}, Quoting{R"(\\server\share)", R"(\\server\share)"},
                    Quoting{"caf\xC3\xA9", "caf\xC3\xA9"}));

TEST(ScriptRunner, CommandLineQuotesTheProgram) {
  EXPECT_EQ(command_line(R"(C:\Windows\System32\WindowsPowerShell\v1.0\powershell.exe)", {"-File", "a b", ""}),
            R"("C:\Windows\System32\WindowsPowerShell\v1.0\powershell.exe" -File "a b" "")");
}

TEST(ScriptRunner, SearchOrderLeavesOutTheCurrentDirectory) {
  EXPECT_EQ(program_search_dirs(R"(C:\Ostrane)", R"(C:\Windows\system32)", R"(C:\Windows)",
                                R"(C:\Tools;;.;bin;"C:\Program Files\PS";\\srv\share;D:relative;C:\Windows)"),
            (std::vector<std::string>{R"(C:\Ostrane)", R"(C:\Windows\system32)", R"(C:\Windows)",
                                      R"(C:\Windows\system32\WindowsPowerShell\v1.0)", R"(C:\Tools)",
                                      R"(C:\Program Files\PS)", R"(\\srv\share)", R"(C:\Windows)"}));
  // Unknown directories are left out rather than searched as "".
  EXPECT_EQ(program_search_dirs("", "", R"(C:\Windows)", ""), (std::vector<std::string>{R"(C:\Windows)"}));
  EXPECT_EQ(program_search_dirs("", R"(C:\Windows\system32\)", "", ""),
            (std::vector<std::string>{R"(C:\Windows\system32\)", R"(C:\Windows\system32\WindowsPowerShell\v1.0)"}));
}

// On Windows a child's write of zero bytes is a read of zero bytes here, not
// the end of its output; Wine drops such writes, so the rule is checked on
// the reading alone.
TEST(ScriptRunner, OnlyAFailedReadEndsAStream) {
  const std::vector<std::optional<std::string>> reads = {"", "{\"a\"", "", "", ":1}", "", std::nullopt, "late"};
  std::size_t next = 0;
  EXPECT_EQ(read_stream_to_end([&] { return reads.at(next++); }), "{\"a\":1}");
  EXPECT_EQ(next, 7u);
}

TEST(ScriptRunner, PathJoinAndParent) {
  EXPECT_EQ(join_windows_path(R"(C:\Ostrane)", "framework"), R"(C:\Ostrane\framework)");
  EXPECT_EQ(join_windows_path(R"(C:\)", "framework"), R"(C:\framework)");
  EXPECT_EQ(join_windows_path(R"(C:\Temp\)", "s.ps1"), R"(C:\Temp\s.ps1)");
  EXPECT_EQ(parent_windows_path(R"(C:\Program Files\Ostrane\ostrane.exe)"), R"(C:\Program Files\Ostrane)");
  EXPECT_EQ(parent_windows_path(R"(C:\ostrane.exe)"), R"(C:\)");
  EXPECT_EQ(parent_windows_path(R"(\\?\C:\o\ostrane.exe)"), R"(\\?\C:\o)");
  EXPECT_EQ(parent_windows_path("ostrane.exe"), "");
}

}  // namespace
}  // namespace ostrane
