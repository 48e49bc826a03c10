#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include "src/backlight/keyboard_backlight.h"
#include "src/backlight/keyboard_script.h"
#include "src/backlight/script_runner.h"
#include "src/common/os_error.h"
#include "src/platform/wide_win.h"
#include "tests/backlight/fake_powershell_win.h"
#include "testing/test_process_win.h"

namespace ostrane {
namespace {

using namespace testing_support;

constexpr std::string_view ANSWER =
    R"({"available":true,"known":true,"level":1,"max_level":2,"source":"hid","applied":true,"verified":true,"reason":""})";

// Where the script was: "{temp}\\ostrane-keyboard-{pid}-{32 hex digits}\\ostrane-keyboard-{pid}.ps1", a
// folder of the run's own that was the child's TEMP and TMP too and is gone
// once the run is over. Nothing when the fake did not run.
std::optional<std::string> private_script_path(const FakeControl& fake) {
  const auto args = fake.arguments();
  if (!args || args->size() != 12) {
    ADD_FAILURE() << "PowerShell did not run with twelve arguments";
    return std::nullopt;
  }
  const std::string script = (*args)[5];
  const std::string folder = script.substr(0, script.rfind('\\'));
  const std::string pid = std::to_string(::GetCurrentProcessId());
  const std::string prefix = from_wide(temp_dir()) + "\\ostrane-keyboard-" + pid + "-";
  EXPECT_TRUE(folder.starts_with(prefix) && folder.size() == prefix.size() + 32 &&
              folder.find_first_not_of("0123456789abcdef", prefix.size()) == std::string::npos)
      << folder;
  EXPECT_EQ(script.substr(folder.size() + 1), script_file_name(::GetCurrentProcessId()));
  EXPECT_EQ(fake.temp_variables(), "TEMP=" + folder + "\nTMP=" + folder + "\n");
  EXPECT_FALSE(file_exists(to_wide(folder))) << "the run's folder was left behind";
  return script;
}

std::vector<std::string> expected_arguments(std::string_view mode, std::string_view level, const std::wstring& exe_dir,
                                            const std::string& script) {
  return {"-NoProfile", "-NonInteractive", "-ExecutionPolicy", "Bypass", "-File", script,
          "-Mode", std::string(mode), "-Level", std::string(level), "-FrameworkDir",
          from_wide(exe_dir) + "\\framework"};
}

// No run leaves a folder of its own behind.
bool private_folders_left() {
  WIN32_FIND_DATAW entry{};
  const HANDLE find = ::FindFirstFileW((temp_dir() + L"\\ostrane-keyboard-*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return false;
  ::FindClose(find);
  return true;
}

// The fake sits beside the test, the first place looked in, and no other
// PowerShell is on PATH (Wine has a stub of its own there).
class ScriptRunnerWin : public ::testing::Test {
 protected:
  FakeControl fake;
  PlacedPowershell placed{executable_dir()};
  std::wstring empty_dir = make_temp_dir(L"ostrane-empty-path");
  ScopedEnvironment empty_path{L"PATH", empty_dir};

  void SetUp() override { ASSERT_TRUE(placed.placed()) << "fake-powershell.exe is missing beside the test"; }
  void TearDown() override { remove_tree(empty_dir); }
};

TEST_F(ScriptRunnerWin, ReadRunsTheScriptFileWithTheArgumentList) {
  fake.answer(ANSWER);
  const auto output = run_keyboard_script("read", 0);
  ASSERT_TRUE(output.has_value()) << display(output.error());
  EXPECT_EQ(*output, ANSWER);
  const auto script = private_script_path(fake);
  ASSERT_TRUE(script.has_value());
  EXPECT_EQ(fake.arguments(), expected_arguments("read", "0", executable_dir(), *script));
  // What PowerShell found at the path is the script, byte for byte, and it
  // is gone with its folder.
  EXPECT_EQ(fake.script(), std::string(KEYBOARD_SCRIPT));
}

TEST_F(ScriptRunnerWin, WritePassesModeAndLevel) {
  fake.answer(ANSWER);
  ASSERT_TRUE(run_keyboard_script("write", 2).has_value());
  const auto script = private_script_path(fake);
  ASSERT_TRUE(script.has_value());
  EXPECT_EQ(fake.arguments(), expected_arguments("write", "2", executable_dir(), *script));
}

TEST_F(ScriptRunnerWin, NonZeroExitIsAFailureWhateverTheOutput) {
  fake.answer(ANSWER, 1);
  const auto output = run_keyboard_script("read", 0);
  ASSERT_FALSE(output.has_value());
  EXPECT_EQ(output.error(), HalError::unavailable("commande de rétroéclairage en échec"));
  EXPECT_TRUE(private_script_path(fake).has_value());
}

// A megabyte on standard error fills its pipe many times over: the run ends
// only if that stream is read while standard output is.
TEST_F(ScriptRunnerWin, StandardErrorIsDrainedAndDiscarded) {
  fake.answer(ANSWER, 0, 1024);
  const auto output = run_keyboard_script("read", 0);
  ASSERT_TRUE(output.has_value()) << display(output.error());
  EXPECT_EQ(*output, ANSWER);
}

TEST_F(ScriptRunnerWin, OutputIsDecodedLossily) {
  fake.answer("a\xFF" "b\xC3\xA9");
  EXPECT_EQ(run_keyboard_script("read", 0), "a\xEF\xBF\xBD" "b\xC3\xA9");
}

// Another account of a shared temporary directory may have made the name
// the script once had there, read-only, and hold it open without delete
// sharing: it is neither run nor in the way.
TEST_F(ScriptRunnerWin, AFileHeldAtTheScriptsNameInTheTemporaryDirectoryIsNotInTheWay) {
  const std::wstring planted = temp_dir() + L"\\" + to_wide(script_file_name(::GetCurrentProcessId()));
  write_file(planted, "Write-Output 'planted'");
  ASSERT_TRUE(::SetFileAttributesW(planted.c_str(), FILE_ATTRIBUTE_READONLY));
  HANDLE held = ::CreateFileW(planted.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  fake.answer(ANSWER);
  const auto output = run_keyboard_script("read", 0);
  ::CloseHandle(held);
  ::SetFileAttributesW(planted.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileW(planted.c_str());
  ASSERT_TRUE(output.has_value()) << display(output.error());
  EXPECT_EQ(*output, ANSWER);
  EXPECT_TRUE(private_script_path(fake).has_value());
  EXPECT_EQ(fake.script(), std::string(KEYBOARD_SCRIPT));
}

struct Unreadable {
  const char* name;
  std::string output;
  std::string error_start;
};

// Through keyboard_read: with no service pipe, the answer comes from here.
TEST_F(ScriptRunnerWin, ScriptAnswersThroughKeyboardRead) {
  fake.answer(ANSWER);
  const auto state = keyboard_read();
  ASSERT_TRUE(state.has_value()) << display(state.error());
  EXPECT_EQ(*state, (KeyboardState{true, BacklightSource::Hid, 1, 2}));
  ASSERT_TRUE(fake.arguments().has_value());
  EXPECT_EQ((*fake.arguments())[7], "read");

  const std::vector<Unreadable> unreadable{
      {"warning line", "AVERTISSEMENT : lent\r\n" + std::string(ANSWER), "parse error at line 1"},
      {"no reason", R"({"available":true,"known":true,"level":1,"max_level":2,"source":"hid","applied":true})",
       "membre manquant : reason"},
      {"level 300", R"({"available":true,"known":true,"level":300,"max_level":2,"source":"hid","applied":true,"reason":""})",
       "entier de 0 à 255 attendu pour le membre : level"},
      {"level -1", R"({"available":true,"known":true,"level":-1,"max_level":2,"source":"hid","applied":true,"reason":""})",
       "entier de 0 à 255 attendu pour le membre : level"},
      {"twice", R"({"available":true,"available":true,"known":true,"level":1,"max_level":2,"source":"hid","applied":true,"reason":""})",
       "membre en double : available"},
  };
  for (const auto& u : unreadable) {
    fake.answer(u.output);
    const auto result = keyboard_write(9);
    ASSERT_FALSE(result.has_value()) << u.name;
    EXPECT_EQ(result.error().kind, HalErrorKind::InvalidData) << u.name;
    EXPECT_TRUE(result.error().message.starts_with("réponse de rétroéclairage illisible : " + u.error_start))
        << u.name << ": " << result.error().message;
    EXPECT_EQ((*fake.arguments())[9], "2") << u.name;
  }
}

// Windows PowerShell's own file (Wine's stub, in this prefix), set aside for
// a test and put back afterwards, even after a run that died half-way.
class WindowsPowerShellSetAside {
 public:
  WindowsPowerShellSetAside() {
    moved_ = ::MoveFileExW(path_.c_str(), saved_.c_str(), MOVEFILE_REPLACE_EXISTING) ||
             (!file_exists(path_) && file_exists(saved_));
  }
  WindowsPowerShellSetAside(const WindowsPowerShellSetAside&) = delete;
  WindowsPowerShellSetAside& operator=(const WindowsPowerShellSetAside&) = delete;
  ~WindowsPowerShellSetAside() {
    ::DeleteFileW(path_.c_str());
    if (moved_) ::MoveFileExW(saved_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING);
  }
  static std::wstring dir() {
    std::wstring system(MAX_PATH, L'\0');
    system.resize(::GetSystemDirectoryW(system.data(), MAX_PATH));
    return system + L"\\WindowsPowerShell\\v1.0";
  }

 private:
  std::wstring path_ = dir() + L"\\powershell.exe";
  std::wstring saved_ = path_ + L".ostrane-test-saved";
  bool moved_ = false;
};

// Without a PowerShell of the system's own, PATH is searched.
TEST(ScriptRunnerWinLookup, PowershellFoundOnPath) {
  FakeControl fake;
  WindowsPowerShellSetAside aside;
  const std::wstring tools = make_temp_dir(L"ostrane path dir");
  {
    PlacedPowershell placed(tools);
    ASSERT_TRUE(placed.placed());
    ScopedEnvironment path(L"PATH", tools);
    fake.answer(ANSWER);
    EXPECT_EQ(run_keyboard_script("read", 0), ANSWER);
  }
  remove_tree(tools);
}

// The PowerShell of the system's WindowsPowerShell directory runs even when
// PATH names another one first: a PATH entry never decides what runs.
TEST(ScriptRunnerWinLookup, WindowsPowerShellDirectoryComesBeforePath) {
  FakeControl fake;
  WindowsPowerShellSetAside aside;
  const std::wstring decoy = make_temp_dir(L"ostrane-decoy-powershell");
  write_file(decoy + L"\\powershell.exe", "not a program");  // would fail to start if chosen
  {
    PlacedPowershell placed(WindowsPowerShellSetAside::dir());
    ASSERT_TRUE(placed.placed());
    ScopedEnvironment path(L"PATH", decoy);
    fake.answer(ANSWER);
    const auto output = run_keyboard_script("read", 0);
    ASSERT_TRUE(output.has_value()) << display(output.error());
    EXPECT_EQ(*output, ANSWER);
    EXPECT_TRUE(fake.arguments().has_value());
  }
  remove_tree(decoy);
}

TEST(ScriptRunnerWinLookup, NoPowershellAnywhere) {
  FakeControl fake;
  WindowsPowerShellSetAside aside;
  const std::wstring empty = make_temp_dir(L"ostrane-no-powershell");
  {
    ScopedEnvironment path(L"PATH", empty);
    const auto output = run_keyboard_script("read", 0);
    ASSERT_FALSE(output.has_value());
    EXPECT_EQ(output.error(), HalError::unavailable("PowerShell indisponible : " + os_error_text(ERROR_FILE_NOT_FOUND)));
  }
  EXPECT_FALSE(private_folders_left()) << "the run's folder was left behind";
  remove_tree(empty);
}

// The runner copied into a directory with spaces passes that directory whole.
TEST(ScriptRunnerWinLookup, FrameworkDirectoryWithSpaces) {
  FakeControl fake;
  const std::wstring dir = make_temp_dir(L"ostrane dir with spaces");
  ASSERT_TRUE(::CopyFileW((executable_dir() + L"\\keyboard-probe.exe").c_str(), (dir + L"\\keyboard-probe.exe").c_str(),
                          FALSE));
  std::string output;
  {
    PlacedPowershell placed(dir);
    ASSERT_TRUE(placed.placed());
    fake.answer(ANSWER);
    const auto run = run_process(L"\"" + dir + L"\\keyboard-probe.exe\" write 1");
    ASSERT_TRUE(run.has_value());
    output = run->out;
  }
  EXPECT_EQ(output, "sortie:" + std::string(ANSWER));
  const auto args = fake.arguments();
  ASSERT_TRUE(args.has_value());
  EXPECT_EQ(args->at(11), from_wide(dir) + "\\framework");
  EXPECT_EQ(args->at(7), "write");
  EXPECT_EQ(args->at(9), "1");
  remove_tree(dir);
}

// The quoting rules, checked against the platform's own reader.
TEST(ScriptRunnerWinLookup, CommandLineReadsBackAsTheArguments) {
  const std::vector<std::string> args{"", "a b", R"(C:\dir with space\)", R"(a"b)", R"(a\"b)", R"(a\\b c)",
                                      "tab\there", R"(\\server\share)", "caf\xC3\xA9", R"(x\)", "\"\""};
  int argc = 0;
  wchar_t** argv = ::CommandLineToArgvW(to_wide(command_line(R"(C:\Program Files\p.exe)", args)).c_str(), &argc);
  ASSERT_NE(argv, nullptr);
  std::vector<std::string> read_back;
  for (int i = 0; i < argc; ++i) read_back.push_back(from_wide(argv[i]));
  ::LocalFree(argv);
  ASSERT_EQ(read_back.size(), args.size() + 1);
  EXPECT_EQ(read_back[0], R"(C:\Program Files\p.exe)");
  EXPECT_EQ(std::vector<std::string>(read_back.begin() + 1, read_back.end()), args);
}

}  // namespace
}  // namespace ostrane
