// The backlight road with a real PowerShell engine: the installed service
// runs the embedded script through build/tools/pwsh-host/powershell.exe (the
// PowerShell 7 engine hosted by tests/backlight/pwsh_host, which
// scripts/install-pwsh-host.sh publishes), with stand-in Framework tools in
// framework\ and, when asked, the Lenovo WMI class. Everything else is real:
// the script as embedded, Add-Type of its C# types and their calls into
// Wine's kernel32, setupapi and hid, the tools as child processes. One
// PowerShell run costs seconds under Wine, so the cases are few.
#include <windows.h>

#include <gtest/gtest.h>

#include "src/platform/wide_win.h"
#include "testing/service_harness_win.h"
#include "testing/test_files_win.h"
#include "testing/test_process_win.h"

namespace ostrane {
namespace {

using namespace service_harness;
using namespace testing_support;

std::string success(int level, std::string_view source, bool known = true) {
  return "{\"applied\":true,\"available\":true,\"known\":" + std::string(known ? "true" : "false") +
         ",\"level\":" + std::to_string(level) + ",\"max_level\":2,\"reason\":\"\",\"source\":\"" +
         std::string(source) + "\"}\n";
}

const std::string kNoInterface =
    "{\"applied\":false,\"available\":false,\"known\":false,\"level\":0,\"max_level\":0,\"reason\":\"ressource "
    "non disponible : aucune interface de retroeclairage clavier detectee\",\"source\":\"\"}\n";

constexpr std::string_view kRead = "{\"op\":\"keyboard_read\"}\n";
std::string write_request(int level) { return "{\"op\":\"keyboard_write\",\"level\":" + std::to_string(level) + "}\n"; }

class RealPowerShell : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    host_ = full_path(executable_dir() + L"\\..\\..\\..\\tools\\pwsh-host");
    if (!file_exists(host_ + L"\\powershell.exe")) return;
    // .NET under Wine dies at once without it; the service has it from the
    // prefix's system environment (tools/wine-prefix).
    ::SetEnvironmentVariableW(L"DOTNET_EnableWriteXorExecute", L"0");
    remove_service();
    const std::wstring here = executable_dir();
    ready_ = ::CopyFileW(full_path(here + L"\\..\\..\\ostrane.exe").c_str(), (host_ + L"\\ostrane.exe").c_str(),
                         FALSE) &&
             (::CreateDirectoryW((host_ + L"\\framework").c_str(), nullptr) ||
              ::GetLastError() == ERROR_ALREADY_EXISTS);
    reset_stand_ins();
    if (!ready_) return;
    const auto installed = run_process(L"\"" + host_ + L"\\ostrane.exe\" service install");
    ready_ = installed && installed->exit_code == 0 && wait_for_pipe(20000);
  }
  static void TearDownTestSuite() {
    if (host_.empty() || !file_exists(host_ + L"\\ostrane.exe")) return;
    remove_service();
    reset_stand_ins();
    ::DeleteFileW((host_ + L"\\ostrane.exe").c_str());
  }
  void SetUp() override {
    if (!file_exists(host_ + L"\\powershell.exe")) {
      GTEST_SKIP() << "no PowerShell stand-in at " << from_wide(host_)
                   << ": scripts/install-pwsh-host.sh could not publish it (it needs dotnet and NuGet)";
    }
    ASSERT_TRUE(ready_) << "the service could not be installed from " << from_wide(host_);
    reset_stand_ins();
  }

  // No tool, no WMI class: the state of a machine without a backlight.
  static void reset_stand_ins() {
    for (const wchar_t* name : {L"framework_tool.exe", L"qmk_hid.exe", L"percent.txt", L"fail.txt", L"calls.txt"}) {
      ::DeleteFileW((host_ + L"\\framework\\" + name).c_str());
    }
    ::DeleteFileW((host_ + L"\\wmi-level.txt").c_str());
  }
  static void place_tool(const wchar_t* name, std::string_view percent) {
    ASSERT_TRUE(::CopyFileW(full_path(executable_dir() + L"\\..\\backlight\\fake-framework-tool.exe").c_str(),
                            (host_ + L"\\framework\\" + name).c_str(), FALSE));
    if (!percent.empty()) write_file(host_ + L"\\framework\\percent.txt", percent);
  }
  static std::string calls() { return read_file(host_ + L"\\framework\\calls.txt").value_or(""); }
  static std::string ask(std::string_view request) { return exchange_waiting(request).response; }

  static inline std::wstring host_;
  static inline bool ready_ = false;
};

TEST_F(RealPowerShell, FrameworkPercentagesReadAsLevels) {
  const std::pair<std::string_view, int> cases[] = {{"24", 0}, {"25", 1}, {"74", 1}, {"75", 2}};
  place_tool(L"framework_tool.exe", "");
  for (const auto& [percent, level] : cases) {
    write_file(host_ + L"\\framework\\percent.txt", percent);
    EXPECT_EQ(ask(kRead), success(level, "framework")) << percent << " %";
  }
  EXPECT_EQ(calls(),
            "framework_tool.exe --kblight\nframework_tool.exe --kblight\nframework_tool.exe --kblight\n"
            "framework_tool.exe --kblight\n");
}

TEST_F(RealPowerShell, FrameworkWritesArriveAsPercentagesAndAreReadBack) {
  place_tool(L"framework_tool.exe", "50");
  const std::pair<int, std::string_view> cases[] = {{0, "0"}, {1, "50"}, {2, "100"}};
  for (const auto& [level, percent] : cases) {
    ::DeleteFileW((host_ + L"\\framework\\calls.txt").c_str());
    EXPECT_EQ(ask(write_request(level)), success(level, "framework")) << level;
    EXPECT_EQ(calls(), "framework_tool.exe --kblight\nframework_tool.exe --kblight " + std::string(percent) +
                           "\nframework_tool.exe --kblight\n")
        << level;
    EXPECT_EQ(read_file(host_ + L"\\framework\\percent.txt"), std::string(percent)) << level;
  }
}

TEST_F(RealPowerShell, QmkHidAloneIsTheFramework16Tool) {
  place_tool(L"qmk_hid.exe", "50");
  EXPECT_EQ(ask(kRead), success(1, "framework"));
  EXPECT_EQ(calls(), "qmk_hid.exe via --backlight\n");
}

TEST_F(RealPowerShell, AFailingToolIsPassedOverSilently) {
  place_tool(L"framework_tool.exe", "50");
  write_file(host_ + L"\\framework\\fail.txt", "EC: access denied\n");
  EXPECT_EQ(ask(kRead), kNoInterface);
  EXPECT_EQ(calls(), "framework_tool.exe --kblight\n");
}

// The ThinkPad driver is absent and Wine has no HID backlight device: both
// probes are silent, so nothing follows the reason.
TEST_F(RealPowerShell, NoInterfaceAtAllGivesTheBareReason) { EXPECT_EQ(ask(kRead), kNoInterface); }

TEST_F(RealPowerShell, LenovoWmiLevels) {
  const std::pair<std::string_view, std::string> cases[] = {{"1", success(0, "lenovo-wmi")},
                                                            {"2", success(1, "lenovo-wmi")},
                                                            {"3", success(2, "lenovo-wmi")},
                                                            {"7", success(0, "lenovo-wmi", false)}};
  for (const auto& [value, expected] : cases) {
    write_file(host_ + L"\\wmi-level.txt", value);
    EXPECT_EQ(ask(kRead), expected) << "WMI brightness " << value;
  }
}

// The README's client, as a user would paste it, against the installed
// service: it runs, and asks for no more than an identification token.
TEST_F(RealPowerShell, TheReadmeClientReadsTheLevel) {
  const std::optional<std::string> readme = read_file(to_wide(OSTRANE_README));
  ASSERT_TRUE(readme.has_value()) << OSTRANE_README;
  constexpr std::string_view FENCE = "```powershell\n";
  const std::size_t start = readme->find(FENCE);
  ASSERT_NE(start, std::string::npos) << "no PowerShell block in the README";
  const std::size_t end = readme->find("```", start + FENCE.size());
  const std::string client = readme->substr(start + FENCE.size(), end - start - FENCE.size());
  EXPECT_NE(client.find("[System.Security.Principal.TokenImpersonationLevel]::Identification"), std::string::npos);
  write_file(host_ + L"\\readme-client.ps1", client);
  place_tool(L"framework_tool.exe", "50");
  const auto result = run_process(L"\"" + host_ + L"\\powershell.exe\" -File \"" + host_ + L"\\readme-client.ps1\"");
  ::DeleteFileW((host_ + L"\\readme-client.ps1").c_str());
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->exit_code, 0u) << result->err;
  EXPECT_EQ(result->out, "@{applied=True; available=True; known=True; level=1; max_level=2; reason=; source=framework}\r\n")
      << result->err;
}

// Straight through the runner, from a program beside the stand-in: a mode
// outside the script's set fails in the engine before any output.
TEST_F(RealPowerShell, AModeOutsideTheSetIsACommandFailure) {
  const std::wstring probe = host_ + L"\\keyboard-probe.exe";
  ASSERT_TRUE(::CopyFileW(full_path(executable_dir() + L"\\..\\backlight\\keyboard-probe.exe").c_str(),
                          probe.c_str(), FALSE));
  const auto result = run_process(L"\"" + probe + L"\" bogus 0");
  ::DeleteFileW(probe.c_str());
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->out, "erreur:ressource non disponible : commande de r\xC3\xA9tro\xC3\xA9" "clairage en \xC3\xA9" "chec");
}

}  // namespace
}  // namespace ostrane
