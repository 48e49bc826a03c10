// The real service under Wine's service manager: installed from a copy of
// ostrane.exe (in a directory with spaces), served through its pipe, stopped
// and removed. The cases run in order and share the one installation.
#include <windows.h>

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <optional>
#include <random>
#include <thread>
#include <vector>

#include "src/backlight/keyboard_script.h"
#include "src/platform/unique_handle_win.h"
#include "src/platform/wide_win.h"
#include "src/service/pipe_protocol.h"
#include "src/service/service_constants.h"
#include "testing/service_harness_win.h"
#include "testing/test_files_win.h"

namespace ostrane {
namespace {

using namespace service_harness;
using testing_support::make_temp_dir;
using testing_support::remove_tree;

constexpr std::string_view SCRIPT_ANSWER =
    R"({"available":true,"known":true,"level":1,"max_level":2,"source":"thinkpad-pm","applied":true,"verified":true,"reason":""})";
constexpr std::string_view SERVICE_ANSWER =
    "{\"applied\":true,\"available\":true,\"known\":true,\"level\":1,\"max_level\":2,\"reason\":\"\","
    "\"source\":\"thinkpad-pm\"}\n";

std::string failure(std::string_view reason) {
  return R"({"applied":false,"available":false,"known":false,"level":0,"max_level":0,"reason":")" +
         std::string(reason) + "\",\"source\":\"\"}\n";
}

// What the service must answer to a request that never reaches the
// backlight: the protocol's own answer, which its unit tests pin down.
std::string expected_without_backlight(std::string_view request) {
  const BacklightOperations none{[]() -> std::expected<KeyboardState, HalError> {
                                   ADD_FAILURE() << "the backlight was reached";
                                   return std::unexpected(HalError::unavailable(""));
                                 },
                                 [](unsigned) -> std::expected<KeyboardState, HalError> {
                                   ADD_FAILURE() << "the backlight was reached";
                                   return std::unexpected(HalError::unavailable(""));
                                 }};
  return handle_request(request.substr(0, 4096), none) + "\n";
}

// The SIDs that the entries of a DACL in the descriptor language name.
std::vector<std::string> dacl_sids(const std::string& sddl) {
  std::vector<std::string> sids;
  for (std::size_t open = sddl.find('('); open != std::string::npos; open = sddl.find('(', open + 1)) {
    const std::size_t close = sddl.find(')', open);
    const std::size_t last = sddl.rfind(';', close);
    if (close == std::string::npos || last == std::string::npos || last < open) break;
    sids.push_back(sddl.substr(last + 1, close - last - 1));
  }
  return sids;
}

std::string own_sid() {
  HANDLE token = nullptr;
  std::string sid;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return sid;
  std::array<BYTE, 256> buffer{};
  DWORD size = 0;
  wchar_t* text = nullptr;
  if (::GetTokenInformation(token, TokenUser, buffer.data(), buffer.size(), &size) &&
      ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
    sid = from_wide(text);
    ::LocalFree(text);
  }
  ::CloseHandle(token);
  return sid;
}

// One exchange on a thread of its own, given `timeout_ms` to end: a client
// that deadlocks with the service is then a failure, not a hung test. Such
// a client is left behind.
std::optional<Exchange> exchange_within(std::string request, DWORD timeout_ms) {
  struct Pending {
    std::string request;
    Exchange result;
  };
  auto* pending = new Pending{std::move(request), {}};
  const UniqueKernelHandle thread(::CreateThread(
      nullptr, 0,
      [](void* p) -> DWORD {
        auto* self = static_cast<Pending*>(p);
        self->result = exchange_waiting(self->request);
        return 0;
      },
      pending, 0, nullptr));
  if (!thread || ::WaitForSingleObject(thread.get(), timeout_ms) != WAIT_OBJECT_0) return std::nullopt;
  Exchange result = std::move(pending->result);
  delete pending;
  return result;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    out.push_back(text.substr(start, end - start));
  }
  return out;
}

class ServiceE2e : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    remove_service();  // a run that died half-way may have left one
    copy_ = new ServiceCopy();
  }
  static void TearDownTestSuite() {
    remove_service();
    delete copy_;
    copy_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(copy_->ready()) << "could not copy ostrane.exe and fake-powershell.exe"; }
  static ServiceCopy& copy() { return *copy_; }
  static void require_running() {
    ASSERT_EQ(service_state(), static_cast<DWORD>(SERVICE_RUNNING)) << "the service is not running";
    ASSERT_TRUE(wait_for_pipe(10000)) << "the service's pipe never appeared";
  }

 private:
  static ServiceCopy* copy_;
};

ServiceCopy* ServiceE2e::copy_ = nullptr;

TEST_F(ServiceE2e, InstallRegistersAndStarts) {
  const auto run = copy().run(L"service install");
  ASSERT_TRUE(run.has_value());
  EXPECT_EQ(run->out, "service OstraneHal installé et démarré\n");
  EXPECT_EQ(run->err, "");
  EXPECT_EQ(run->exit_code, 0u);
  // Own process, automatic start, normal error control, LocalSystem.
  const RegisteredConfig expected{SERVICE_WIN32_OWN_PROCESS,
                                  SERVICE_AUTO_START,
                                  SERVICE_ERROR_NORMAL,
                                  L"\"" + copy().exe() + L"\" --service",
                                  L"Ostrane HAL (acc\u00E8s mat\u00E9riel privil\u00E9gi\u00E9)",
                                  L"LocalSystem"};
  EXPECT_EQ(registered_config(), expected);
  // Installed and started means serving: the pipe is there at once.
  const Exchange first = exchange("{}");
  EXPECT_EQ(first.open_error, 0u);
  EXPECT_EQ(first.response, failure("opération inconnue : "));
  require_running();
}

TEST_F(ServiceE2e, InstallAgainWhileRunning) {
  const auto run = copy().run(L"service install");
  ASSERT_TRUE(run.has_value());
  EXPECT_EQ(run->out, "le service OstraneHal est déjà installé et tourne\n");
  EXPECT_EQ(run->err, "");
  EXPECT_EQ(run->exit_code, 0u);
  EXPECT_EQ(registered_command_line(), L"\"" + copy().exe() + L"\" --service");
}

// A second copy finds the first one's registration, which would run what
// this install has not checked: it is left as it is.
TEST_F(ServiceE2e, InstallFromAnotherCopyIsRefused) {
  const ServiceCopy other(make_temp_dir(L"ostrane other copy"));
  ASSERT_TRUE(other.ready());
  const auto run = other.run(L"service install");
  ASSERT_TRUE(run.has_value());
  EXPECT_EQ(run->out, "");
  EXPECT_EQ(run->err, "erreur : installation refusée : le service OstraneHal déjà inscrit lance \"" +
                          from_wide(copy().exe()) + "\" --service, et non \"" + from_wide(other.exe()) +
                          "\" --service ; désinstallez-le d'abord : ostrane service uninstall\n");
  EXPECT_EQ(run->exit_code, 1u);
  EXPECT_EQ(registered_command_line(), L"\"" + copy().exe() + L"\" --service");
  require_running();
}

TEST_F(ServiceE2e, ReadRunsTheScriptBesideTheService) {
  require_running();
  copy().forget_recordings();
  copy().answer(SCRIPT_ANSWER);
  EXPECT_EQ(exchange_waiting("{\"op\":\"keyboard_read\"}\n").response, SERVICE_ANSWER);
  const auto args = copy().recorded_arguments();
  ASSERT_TRUE(args.has_value()) << "the service did not run powershell.exe from its own directory";
  const auto list = lines(*args);
  ASSERT_EQ(list.size(), 12u) << *args;
  EXPECT_EQ(list[7], "read");
  EXPECT_EQ(list[9], "0");
  EXPECT_EQ(list[11], from_wide(copy().dir()) + "\\framework");
  EXPECT_EQ(copy().recorded_script(), std::string(KEYBOARD_SCRIPT));
  // Nobody but SYSTEM and the Administrators may open the script: Wine,
  // which keeps a file's access in its Unix mode, shows its owner, this
  // account, for them.
  const auto dacl = copy().recorded_script_dacl();
  ASSERT_TRUE(dacl.has_value());
  const std::vector<std::string> sids = dacl_sids(*dacl);
  EXPECT_FALSE(sids.empty()) << *dacl;
  for (const std::string& sid : sids) EXPECT_TRUE(sid == "SY" || sid == "BA" || sid == own_sid()) << *dacl;
}

// Put there after the install, and anyone may change it now: it is held to
// the install's rule before it runs.
TEST_F(ServiceE2e, APowershellBesideThatOthersMayChangeIsNotRun) {
  require_running();
  copy().forget_recordings();
  const std::wstring beside = copy().dir() + L"\\powershell.exe";
  ASSERT_TRUE(let_everyone_write(beside));
  const Exchange refused = exchange_waiting("{\"op\":\"keyboard_read\"}\n");
  // As the install found it, for the cases after this one.
  ::DeleteFileW(beside.c_str());
  ASSERT_TRUE(::CopyFileW(fake_powershell_exe().c_str(), beside.c_str(), FALSE));
  std::string path_in_json;
  for (const char c : from_wide(beside)) path_in_json += c == '\\' ? std::string(2, c) : std::string(1, c);
  EXPECT_EQ(refused.response, failure("accès refusé : « Everyone » (S-1-1-0) peut modifier " + path_in_json +
                                      " ; le service n'exécute rien"));
  EXPECT_FALSE(copy().recorded_arguments().has_value()) << "powershell.exe ran";
}

TEST_F(ServiceE2e, WriteOfSevenArrivesAsTwo) {
  require_running();
  copy().forget_recordings();
  copy().answer(SCRIPT_ANSWER);
  EXPECT_EQ(exchange_waiting("{\"op\":\"keyboard_write\",\"level\":7}\n").response, SERVICE_ANSWER);
  const auto args = copy().recorded_arguments();
  ASSERT_TRUE(args.has_value());
  const auto list = lines(*args);
  ASSERT_EQ(list.size(), 12u);
  EXPECT_EQ(list[7], "write");
  EXPECT_EQ(list[9], "2");
}

TEST_F(ServiceE2e, ScriptFailureIsAnsweredInBand) {
  require_running();
  copy().answer("pas du JSON");
  EXPECT_EQ(exchange_waiting("{\"op\":\"keyboard_read\"}").response,
            failure("données invalides : réponse de rétroéclairage illisible : parse error at line 1, column 1: "
                    "syntax error while parsing value - invalid literal; last read: 'p'"));
}

TEST_F(ServiceE2e, BadRequestsAreAnsweredByteForByte) {
  require_running();
  const std::vector<std::pair<std::string, std::string>> cases{
      {"{}", failure("opération inconnue : ")},
      {"[1]", failure("opération inconnue : ")},
      {"{\"op\":5}\n", failure("opération inconnue : ")},
      {"{\"op\":\"KEYBOARD_READ\"}", failure("opération inconnue : KEYBOARD_READ")},
      {"{\"op\":\"keyboard_write\"}", failure("niveau manquant")},
      {"{\"op\":\"keyboard_write\",\"level\":-1}", failure("niveau manquant")},
      {"{\"op\":\"keyboard_write\",\"level\":1.5}", failure("niveau manquant")},
      {"{\"op\":\"keyboard_write\",\"level\":\"1\"}", failure("niveau manquant")},
      {"{\"op\":\"keyboard_write\",\"level\":18446744073709551616}", failure("niveau manquant")},
      {"{\"op\":\"keyboard_read\"}\xFF", failure("requête non UTF-8")},
      {" \xC2\xA0{}\xC2\xA0 ", failure("opération inconnue : ")},
  };
  for (const auto& [request, response] : cases) {
    EXPECT_EQ(exchange_waiting(request).response, response) << request;
  }
  using namespace std::string_literals;
  for (const std::string& request :
       {"{\"op\":\"keyboard_read\"}x"s, " "s, "{\"op\":"s, "{\"op\":\"keyboard_read\"}\0x"s}) {
    const std::string response = exchange_waiting(request).response;
    EXPECT_NE(response.find("\"reason\":\"requête illisible : parse error at line 1"), std::string::npos) << response;
    EXPECT_EQ(response, expected_without_backlight(request)) << request;
  }
}

TEST_F(ServiceE2e, RequestOf5000BytesIsCutAt4096) {
  require_running();
  std::string request = "{\"op\":\"keyboard_read\",\"pad\":\"";
  request.append(5000 - request.size() - 3, 'x');
  request += "\"}\n";
  ASSERT_EQ(request.size(), 5000u);
  const std::string response = exchange_waiting(request).response;
  EXPECT_EQ(response, expected_without_backlight(request));
  EXPECT_NE(response.find("requête illisible : "), std::string::npos) << response;
  EXPECT_EQ(exchange_waiting("{}").response, failure("opération inconnue : ")) << "the next client was not served";
}

TEST_F(ServiceE2e, ClientThatSendsNothingDoesNotStopTheService) {
  require_running();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(exchange_waiting("").open_error, 0u);
  EXPECT_EQ(exchange_waiting("{}").response, failure("opération inconnue : "));
}

TEST_F(ServiceE2e, SecondClientIsRefusedNotQueued) {
  require_running();
  const HANDLE first = open_pipe_waiting();
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  const Exchange second = exchange("{}");
  EXPECT_EQ(second.open_error, static_cast<DWORD>(ERROR_PIPE_BUSY));
  EXPECT_EQ(second.response, "");
  DWORD written = 0;
  ASSERT_TRUE(::WriteFile(first, "{}", 2, &written, nullptr));
  const std::string response = testing_support::read_to_end(first);
  ::CloseHandle(first);
  EXPECT_EQ(response, failure("opération inconnue : "));
}

// Sequential clients of every kind; each gets its whole answer or none.
TEST_F(ServiceE2e, SoakOf2000MixedRequests) {
  require_running();
  copy().answer(SCRIPT_ANSWER);
  std::string oversized = "{\"op\":\"keyboard_read\",\"pad\":\"" + std::string(6000, 'y') + "\"}";
  const std::vector<std::pair<std::string, std::string>> kinds{
      {"{\"op\":\"keyboard_read\"}\n", std::string(SERVICE_ANSWER)},
      {"{\"op\":\"unknown\"}\n", failure("opération inconnue : unknown")},
      {"{\"op\":\"keyboard_write\",\"level\":1.0}", failure("niveau manquant")},
      {"\xC3", failure("requête non UTF-8")},
      {"{\"op\"", expected_without_backlight("{\"op\"")},
      {oversized, expected_without_backlight(oversized)},
      {"", ""},  // connects and hangs up
  };
  std::mt19937 random(2026);
  int wrong = 0, refused = 0, script_runs = 0;
  for (int i = 0; i < 2000; ++i) {
    // One request in ten runs the script: the rest stay in the service.
    const std::size_t kind = (i % 10 == 0) ? 0 : 1 + random() % (kinds.size() - 1);
    if (kind == 0) ++script_runs;
    const Exchange result = exchange_waiting(kinds[kind].first, &refused);
    if (result.open_error != 0) {
      if (++wrong <= 5) ADD_FAILURE() << "request " << i << ": open error " << result.open_error;
    } else if (result.response != kinds[kind].second) {
      if (++wrong <= 5) ADD_FAILURE() << "request " << i << ": " << result.response;
    }
  }
  EXPECT_EQ(wrong, 0);
  std::printf("soak: %d script runs in 2000 exchanges, %d busy refusals retried\n", script_runs, refused);
  EXPECT_EQ(service_state(), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(ServiceE2e, FourClientsAtOnceGetAWholeAnswerOrBusy) {
  require_running();
  const std::string expected = failure("opération inconnue : x");
  std::atomic<int> answered{0}, busy{0}, wrong{0};
  std::vector<std::thread> clients;
  const DWORD end = ::GetTickCount() + 3000;
  for (int c = 0; c < 4; ++c) {
    clients.emplace_back([&] {
      while (::GetTickCount() < end) {
        const Exchange result = exchange("{\"op\":\"x\"}");
        if (result.open_error == ERROR_PIPE_BUSY) {
          ++busy;
        } else if (result.open_error == 0 && result.response == expected) {
          ++answered;
        } else {
          ++wrong;
        }
      }
    });
  }
  for (auto& client : clients) client.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_GT(answered.load(), 0);
  std::printf("four clients, 3 s: %d answered, %d refused as busy\n", answered.load(), busy.load());
  EXPECT_EQ(service_state(), static_cast<DWORD>(SERVICE_RUNNING));
}

// A request written in one piece larger than the pipe's buffer: the
// client's write ends only once the service has taken all of it, and only
// then does the client read its answer, about the first 4096 bytes.
TEST_F(ServiceE2e, RequestOf20KiBInOneWriteIsAnswered) {
  require_running();
  const std::string request = "{\"op\":\"keyboard_read\",\"pad\":\"" + std::string(20 * 1024, 'z') + "\"}";
  const std::optional<Exchange> result = exchange_within(request, 20000);
  ASSERT_TRUE(result.has_value()) << "the client and the service wait for each other";
  EXPECT_EQ(result->response, expected_without_backlight(request));
  EXPECT_EQ(exchange_waiting("{}").response, failure("opération inconnue : ")) << "the next client was not served";
}

// Only a stop stops: a status query, or a user-defined control that any
// logged-on user may send (sc control OstraneHal 200), leaves it running.
TEST_F(ServiceE2e, ControlsOtherThanStopLeaveItRunning) {
  require_running();
  EXPECT_EQ(send_control(SERVICE_CONTROL_INTERROGATE), 0u);
  for (const DWORD control : {128u, 200u, 255u}) {
    // The handler answers ERROR_CALL_NOT_IMPLEMENTED; what the manager makes
    // of it for the caller is its own business, the service's state is ours.
    send_control(control);
    ::Sleep(200);
    EXPECT_EQ(service_state(), static_cast<DWORD>(SERVICE_RUNNING)) << "control " << control;
    EXPECT_EQ(exchange_waiting("{}").response, failure("opération inconnue : ")) << "control " << control;
  }
}

// A stop while PowerShell runs takes effect once the request is answered;
// meanwhile the manager is told that the stop is pending.
TEST_F(ServiceE2e, StopDuringAScriptRunTakesEffectOnceItIsAnswered) {
  require_running();
  copy().forget_recordings();
  copy().answer(SCRIPT_ANSWER);
  copy().hold(true);
  std::string response;
  std::thread client([&] { response = exchange_waiting("{\"op\":\"keyboard_read\"}\n").response; });
  for (int waited = 0; waited < 20000 && !copy().recorded_arguments(); waited += 50) ::Sleep(50);
  const bool script_ran = copy().recorded_arguments().has_value();
  const DWORD control = send_control(SERVICE_CONTROL_STOP);
  ::Sleep(500);
  const std::optional<SERVICE_STATUS> pending = service_status();
  copy().hold(false);
  client.join();
  EXPECT_TRUE(script_ran) << "the script never ran";
  EXPECT_EQ(control, 0u);
  EXPECT_EQ(response, SERVICE_ANSWER);
  ASSERT_TRUE(pending.has_value());
  EXPECT_EQ(pending->dwCurrentState, static_cast<DWORD>(SERVICE_STOP_PENDING));
  EXPECT_GT(pending->dwWaitHint, 0u);
  EXPECT_TRUE(stop_service_and_wait(10000));
  EXPECT_EQ(service_state(), static_cast<DWORD>(SERVICE_STOPPED));
}

TEST_F(ServiceE2e, InstallAgainWhenStoppedStartsIt) {
  ASSERT_EQ(service_state(), static_cast<DWORD>(SERVICE_STOPPED));
  const auto run = copy().run(L"service install");
  ASSERT_TRUE(run.has_value());
  EXPECT_EQ(run->out, "le service OstraneHal est déjà installé et tourne\n");
  EXPECT_EQ(run->exit_code, 0u);
  require_running();
}

// A client that connects and says nothing, or that sends its request and
// never reads the answer, does not hold a stop back: it is cut off, and
// the service stops.
TEST_F(ServiceE2e, StopWhileAClientStalls) {
  for (const bool sends_request : {false, true}) {
    if (service_state() != SERVICE_RUNNING) {
      const auto run = copy().run(L"service install");
      ASSERT_TRUE(run.has_value());
      ASSERT_EQ(run->exit_code, 0u) << run->err;
    }
    require_running();
    const HANDLE client = open_pipe_waiting();
    ASSERT_NE(client, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    if (sends_request) {
      ASSERT_TRUE(::WriteFile(client, "{}", 2, &written, nullptr));
    }
    ::Sleep(300);
    EXPECT_TRUE(stop_service_and_wait(10000)) << (sends_request ? "a client that never reads" : "a silent client");
    ::CloseHandle(client);
  }
  const auto run = copy().run(L"service install");
  ASSERT_TRUE(run.has_value());
  EXPECT_EQ(run->exit_code, 0u) << run->err;
}

// Only SYSTEM and the Administrators may open the pipe. Wine keeps a pipe's
// security descriptor but does not enforce it, so the descriptor is read
// back and checked entry by entry.
TEST_F(ServiceE2e, ThePipeAdmitsOnlySystemAndAdministrators) {
  require_running();
  const UniqueKernelHandle client(
      ::CreateFileW(to_wide(PIPE_NAME).c_str(), READ_CONTROL, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(client) << "open error " << ::GetLastError();
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(::GetSecurityInfo(client.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  const UniqueLocalMemory owned(descriptor);
  ASSERT_NE(dacl, nullptr) << "a null DACL lets everyone in";
  const std::pair<WELL_KNOWN_SID_TYPE, const char*> expected[] = {{WinLocalSystemSid, "SYSTEM"},
                                                                  {WinBuiltinAdministratorsSid, "Administrators"}};
  ASSERT_EQ(dacl->AceCount, std::size(expected));
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    ASSERT_TRUE(::GetAce(dacl, i, &ace));
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
    EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE) << i;
    EXPECT_EQ(allowed->Mask, static_cast<DWORD>(FILE_ALL_ACCESS)) << i;
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(sid);
    ASSERT_TRUE(::CreateWellKnownSid(expected[i].first, nullptr, sid, &size));
    EXPECT_TRUE(::EqualSid(const_cast<DWORD*>(&allowed->SidStart), sid))
        << "entry " << i << " is not " << expected[i].second;
  }
}

TEST_F(ServiceE2e, StopThroughTheServiceManager) {
  require_running();
  EXPECT_TRUE(stop_service_and_wait(10000));
  // Stopped, and still registered; a normal stop reports no error.
  EXPECT_EQ(service_state(), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_EQ(service_status().value_or(SERVICE_STATUS{}).dwWin32ExitCode, static_cast<DWORD>(NO_ERROR));
  EXPECT_NE(exchange("{}").open_error, 0u) << "the pipe outlived the service";
}

// Another process that made the pipe's name first, open to everyone and
// with room for more instances, is never joined: the service stops with
// the error in its status, and nothing of the service reaches that pipe.
TEST_F(ServiceE2e, APipeNameTakenFirstMakesTheStartFail) {
  ASSERT_EQ(service_state(), static_cast<DWORD>(SERVICE_STOPPED));
  SECURITY_DESCRIPTOR open_to_all{};
  ASSERT_TRUE(::InitializeSecurityDescriptor(&open_to_all, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(::SetSecurityDescriptorDacl(&open_to_all, TRUE, nullptr, FALSE));
  SECURITY_ATTRIBUTES security{sizeof(security), &open_to_all, FALSE};
  const UniqueKernelHandle squatter(::CreateNamedPipeW(to_wide(PIPE_NAME).c_str(),
                                                       PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, PIPE_TYPE_BYTE,
                                                       PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, &security));
  ASSERT_TRUE(squatter) << "create error " << ::GetLastError();
  const UniqueKernelHandle connected(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  OVERLAPPED listen{};
  listen.hEvent = connected.get();
  ASSERT_FALSE(::ConnectNamedPipe(squatter.get(), &listen));
  ASSERT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));

  // The installed service is started, and stops at once: install says so.
  const auto run = copy().run(L"service install");
  ASSERT_TRUE(run.has_value());
  EXPECT_EQ(run->out, "");
  EXPECT_EQ(run->err, "erreur : le service OstraneHal s'est arrêté dès son démarrage (code 5)\n");
  EXPECT_EQ(run->exit_code, 1u);
  EXPECT_EQ(service_state(), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_EQ(service_status().value_or(SERVICE_STATUS{}).dwWin32ExitCode, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(::WaitForSingleObject(connected.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
      << "something connected to the other process's pipe";
  ::CancelIoEx(squatter.get(), &listen);
  DWORD ignored = 0;
  ::GetOverlappedResult(squatter.get(), &listen, &ignored, TRUE);
}

TEST_F(ServiceE2e, UninstallThenUninstallAgain) {
  auto run = copy().run(L"service uninstall");
  ASSERT_TRUE(run.has_value());
  EXPECT_EQ(run->out, "service OstraneHal désinstallé\n");
  EXPECT_EQ(run->err, "");
  EXPECT_EQ(run->exit_code, 0u);
  run = copy().run(L"service uninstall");
  ASSERT_TRUE(run.has_value());
  EXPECT_EQ(run->out, "le service OstraneHal n'est pas installé\n");
  EXPECT_EQ(run->exit_code, 0u);
  EXPECT_EQ(service_state(), 0u);
}

// A running service that is removed keeps running, registered until it
// stops; meanwhile the manager refuses a second removal.
TEST_F(ServiceE2e, UninstallWhileRunning) {
  auto run = copy().run(L"service install");
  ASSERT_TRUE(run.has_value());
  ASSERT_EQ(run->out, "service OstraneHal installé et démarré\n");
  require_running();
  run = copy().run(L"service uninstall");
  ASSERT_TRUE(run.has_value());
  EXPECT_EQ(run->out, "service OstraneHal désinstallé\n");
  EXPECT_EQ(run->exit_code, 0u);
  EXPECT_EQ(service_state(), static_cast<DWORD>(SERVICE_RUNNING));
  run = copy().run(L"service uninstall");
  ASSERT_TRUE(run.has_value());
  EXPECT_EQ(run->out, "");
  EXPECT_EQ(run->err, "erreur : suppression du service refusée (code 1072)\n");  // marked for deletion
  EXPECT_EQ(run->exit_code, 1u);
  EXPECT_TRUE(stop_service_and_wait(10000));
  EXPECT_EQ(service_state(), 0u) << "the registration outlived the stop";
}

// The service would run as SYSTEM what anyone may replace or add there.
TEST_F(ServiceE2e, InstallFromAFolderEveryoneMayWriteToIsRefused) {
  ASSERT_EQ(service_state(), 0u);
  const ServiceCopy open_copy;
  ASSERT_TRUE(open_copy.ready());
  ASSERT_TRUE(let_everyone_write(open_copy.dir()));
  const auto run = open_copy.run(L"service install");
  ASSERT_TRUE(run.has_value());
  EXPECT_EQ(run->out, "");
  EXPECT_EQ(run->err, "erreur : installation refusée : « Everyone » (S-1-1-0) peut modifier " +
                          from_wide(open_copy.dir()) +
                          " ; placez ostrane.exe dans un dossier où seuls les administrateurs peuvent écrire, par "
                          "exemple C:\\Program Files\\Ostrane\n");
  EXPECT_EQ(run->exit_code, 1u);
  EXPECT_EQ(service_state(), 0u) << "registered all the same";
}

// Its folder is the administrators' alone, but anyone may move it away and
// put another in its place.
TEST_F(ServiceE2e, InstallBelowAFolderEveryoneMayWriteToIsRefused) {
  ASSERT_EQ(service_state(), 0u);
  const std::wstring parent = make_temp_dir(L"ostrane open parent");
  ASSERT_TRUE(let_everyone_write(parent));
  {
    const ServiceCopy inner(parent + L"\\Ostrane");
    ASSERT_TRUE(inner.ready());
    const auto run = inner.run(L"service install");
    ASSERT_TRUE(run.has_value());
    EXPECT_EQ(run->out, "");
    EXPECT_EQ(run->err, "erreur : installation refusée : « Everyone » (S-1-1-0) peut remplacer " +
                            from_wide(inner.dir()) +
                            " ; placez ostrane.exe dans un dossier où seuls les administrateurs peuvent écrire, par "
                            "exemple C:\\Program Files\\Ostrane\n");
    EXPECT_EQ(run->exit_code, 1u);
    EXPECT_EQ(service_state(), 0u) << "registered all the same";
  }
  remove_tree(parent);
}

}  // namespace
}  // namespace ostrane
