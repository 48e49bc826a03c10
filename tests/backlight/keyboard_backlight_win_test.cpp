#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "src/backlight/keyboard_backlight.h"
#include "src/common/service_pipe.h"
#include "src/platform/wide_win.h"
#include "tests/backlight/fake_powershell_win.h"

namespace ostrane {
namespace {

using namespace testing_support;

// Plays the service for one client: one read, then the canned answer (or
// nothing, when `answer` is empty).
class CannedPipeServer {
 public:
  explicit CannedPipeServer(std::string answer) : answer_(std::move(answer)) {
    pipe_ = ::CreateNamedPipeW(to_wide(PIPE_NAME).c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                               static_cast<DWORD>(PIPE_BUFFER_SIZE), static_cast<DWORD>(PIPE_BUFFER_SIZE), 0,
                               nullptr);
    if (pipe_ == INVALID_HANDLE_VALUE) return;
    thread_ = std::thread([this] { serve(); });
  }
  CannedPipeServer(const CannedPipeServer&) = delete;
  CannedPipeServer& operator=(const CannedPipeServer&) = delete;
  ~CannedPipeServer() {
    if (thread_.joinable()) thread_.join();
    if (pipe_ != INVALID_HANDLE_VALUE) ::CloseHandle(pipe_);
  }

  bool listening() const { return pipe_ != INVALID_HANDLE_VALUE; }
  // Valid once the client's call has returned.
  std::string request() {
    if (thread_.joinable()) thread_.join();
    return request_;
  }

 private:
  void serve() {
    if (!::ConnectNamedPipe(pipe_, nullptr) && ::GetLastError() != ERROR_PIPE_CONNECTED) return;
    char buffer[PIPE_BUFFER_SIZE];
    DWORD count = 0;
    if (::ReadFile(pipe_, buffer, sizeof(buffer), &count, nullptr)) request_.assign(buffer, count);
    if (!answer_.empty()) {
      DWORD written = 0;
      ::WriteFile(pipe_, answer_.data(), static_cast<DWORD>(answer_.size()), &written, nullptr);
      ::FlushFileBuffers(pipe_);
    }
    ::DisconnectNamedPipe(pipe_);
  }

  std::string answer_;
  HANDLE pipe_ = INVALID_HANDLE_VALUE;
  std::thread thread_;
  std::string request_;
};

constexpr std::string_view SUCCESS =
    "{\"applied\":true,\"available\":true,\"known\":true,\"level\":1,\"max_level\":2,\"reason\":\"\","
    "\"source\":\"thinkpad-pm\"}\n";

TEST(PipeClient, ReadThroughTheService) {
  FakeControl fake;  // must stay unused: the service answers
  CannedPipeServer server{std::string(SUCCESS)};
  ASSERT_TRUE(server.listening());
  const auto state = keyboard_read();
  ASSERT_TRUE(state.has_value()) << display(state.error());
  EXPECT_EQ(*state, (KeyboardState{true, BacklightSource::ThinkpadPm, 1, 2}));
  EXPECT_EQ(server.request(), "{\"op\":\"keyboard_read\"}\n");
  EXPECT_FALSE(fake.arguments().has_value());
}

TEST(PipeClient, WriteAboveTwoAsksForTwo) {
  CannedPipeServer server{std::string(SUCCESS)};
  ASSERT_TRUE(server.listening());
  ASSERT_TRUE(keyboard_write(9).has_value());
  EXPECT_EQ(server.request(), "{\"op\":\"keyboard_write\",\"level\":2}\n");
}

TEST(PipeClient, ServiceFailureIsShownWithItsOwnPrefix) {
  CannedPipeServer server{
      "{\"applied\":false,\"available\":false,\"known\":false,\"level\":0,\"max_level\":0,"
      "\"reason\":\"ressource non disponible : commande de rétroéclairage en échec\",\"source\":\"\"}\n"};
  ASSERT_TRUE(server.listening());
  const auto state = keyboard_write(0);
  ASSERT_FALSE(state.has_value());
  EXPECT_EQ(display(state.error()),
            "ressource non disponible : ressource non disponible : commande de rétroéclairage en échec");
}

TEST(PipeClient, ServerThatHangsUpInterruptsTheExchange) {
  FakeControl fake;
  CannedPipeServer server{""};
  ASSERT_TRUE(server.listening());
  const auto state = keyboard_read();
  ASSERT_FALSE(state.has_value());
  EXPECT_EQ(state.error(), HalError::unavailable("service HAL joignable mais échange interrompu"));
  EXPECT_FALSE(fake.arguments().has_value()) << "the script ran after the service was reached";
}

// One read of at most 4096 bytes: the rest of a longer answer is never seen.
TEST(PipeClient, LongAnswerIsCutAtTheReadLimit) {
  std::string answer(SUCCESS);
  answer.insert(1, "\"padding\":\"" + std::string(5000, 'x') + "\",");
  CannedPipeServer server{answer};
  ASSERT_TRUE(server.listening());
  const auto state = keyboard_read();
  ASSERT_FALSE(state.has_value());
  EXPECT_EQ(state.error().kind, HalErrorKind::InvalidData);
  EXPECT_TRUE(state.error().message.starts_with("réponse de rétroéclairage illisible : parse error"))
      << state.error().message;
}

TEST(PipeClient, WithoutServiceTheScriptRunsHere) {
  FakeControl fake;
  PlacedPowershell placed(executable_dir());
  ASSERT_TRUE(placed.placed());
  fake.answer(R"({"available":true,"known":false,"level":0,"max_level":1,"source":"framework","applied":true,"reason":""})");
  const auto state = keyboard_write(1);
  ASSERT_TRUE(state.has_value()) << display(state.error());
  EXPECT_EQ(*state, (KeyboardState{false, BacklightSource::Framework, 0, 1}));
  ASSERT_TRUE(fake.arguments().has_value());
  EXPECT_EQ((*fake.arguments())[9], "1");
}

}  // namespace
}  // namespace ostrane
