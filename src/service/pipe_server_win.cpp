#include "src/service/pipe_server_win.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "src/platform/security_descriptor_win.h"
#include "src/platform/wide_win.h"
#include "src/service/service_constants.h"

namespace ostrane {
namespace {

// After a stop, how long an answer already being written or read may still
// take: a client that reads gets it, one that stalls is cut off.
constexpr DWORD STOP_GRACE_MS = 2000;

// The flushing thread only waits.
constexpr SIZE_T FLUSHER_STACK_BYTES = SIZE_T{64} << 10;

// How long a flush may take to end once it is cancelled.
constexpr DWORD FLUSH_END_MS = 5000;

enum class IoEnd { Done, Failed, Stopped };

// Ends an operation still pending on `io`: its OVERLAPPED, in the caller's
// frame, must not outlive it.
void cancel(HANDLE pipe, OVERLAPPED& io) {
  DWORD ignored = 0;
  if (::CancelIoEx(pipe, &io) || ::GetLastError() == ERROR_NOT_FOUND) ::GetOverlappedResult(pipe, &io, &ignored, TRUE);
}

// Whether an overlapped call began its operation: it is done or pending.
// One that failed at once leaves its OVERLAPPED marked pending for good,
// and must not be waited for.
bool begun(BOOL started) { return started || ::GetLastError() == ERROR_IO_PENDING; }

// Waits for the overlapped operation on `io`, or for a stop.
IoEnd finish(HANDLE pipe, OVERLAPPED& io, bool begun, HANDLE stop_event, DWORD& count) {
  if (!begun) return IoEnd::Failed;
  const std::array<HANDLE, 2> waits = {io.hEvent, stop_event};
  const DWORD waited = ::WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(), FALSE, INFINITE);
  if (waited != WAIT_OBJECT_0) {
    cancel(pipe, io);
    return IoEnd::Stopped;
  }
  return ::GetOverlappedResult(pipe, &io, &count, FALSE) ? IoEnd::Done : IoEnd::Failed;
}

// FlushFileBuffers returns once the client has read everything, but cannot
// wait on anything else: it runs on a thread of its own, made once for the
// server's life, since Wine takes milliseconds to start a thread. What the
// thread uses, a handle of its own to the pipe included, it owns with the
// server: should a flush outlast every way of ending it, the server gives
// up waiting and goes on with a new flusher, and the old thread still
// finds everything it touches alive, then ends.
class Flusher {
 public:
  explicit Flusher(HANDLE pipe) : pipe_(pipe), shared_(std::make_shared<Shared>()) {
    HANDLE own = nullptr;
    if (::DuplicateHandle(::GetCurrentProcess(), pipe, ::GetCurrentProcess(), &own, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
      shared_->pipe.reset(own);
    }
    shared_->go.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    shared_->done.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (shared_->pipe && shared_->go && shared_->done) {
      // The thread's own reference, which it takes over once it runs.
      auto handed = std::make_unique<std::shared_ptr<Shared>>(shared_);
      thread_.reset(
          ::CreateThread(nullptr, FLUSHER_STACK_BYTES, run, handed.get(), STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
      if (thread_) static_cast<void>(handed.release());
    }
    if (!thread_) error_ = ::GetLastError();
  }
  Flusher(const Flusher&) = delete;
  Flusher& operator=(const Flusher&) = delete;
  ~Flusher() {
    if (!thread_) return;
    let_go();
    ::WaitForSingleObject(thread_.get(), FLUSH_END_MS);
  }

  // NO_ERROR, or why the thread could not be made.
  DWORD error() const { return error_; }
  // A flush outlasted its cut: this flusher is of no more use.
  bool stuck() const { return stuck_; }

  // Begins a flush; done() is signalled when it ends.
  void start() {
    ::ResetEvent(shared_->done.get());
    ::SetEvent(shared_->go.get());
  }
  HANDLE done() const { return shared_->done.get(); }

  // Ends a flush that still waits for the client.
  void cut() {
    if (::WaitForSingleObject(done(), 0) == WAIT_OBJECT_0) return;
    ::CancelSynchronousIo(thread_.get());
    ::CancelIoEx(pipe_, nullptr);
    if (::WaitForSingleObject(done(), FLUSH_END_MS) == WAIT_OBJECT_0) return;
    // The disconnect ends any wait for the client, a flush that had not
    // yet begun when it was cancelled included.
    ::DisconnectNamedPipe(pipe_);
    if (::WaitForSingleObject(done(), FLUSH_END_MS) == WAIT_OBJECT_0) return;
    stuck_ = true;
    let_go();
  }

 private:
  struct Shared {
    UniqueKernelHandle pipe;  // the thread's own handle to the server's pipe
    UniqueKernelHandle go;    // auto-reset: one flush each time it is set
    UniqueKernelHandle done;  // manual-reset
    std::atomic<bool> quit{false};
  };

  // The thread ends at its next look at `go`.
  void let_go() {
    shared_->quit.store(true);
    ::SetEvent(shared_->go.get());
  }

  static DWORD WINAPI run(void* handed) {
    const std::unique_ptr<std::shared_ptr<Shared>> owner(static_cast<std::shared_ptr<Shared>*>(handed));
    const std::shared_ptr<Shared> shared = *owner;
    while (::WaitForSingleObject(shared->go.get(), INFINITE) == WAIT_OBJECT_0 && !shared->quit.load()) {
      ::FlushFileBuffers(shared->pipe.get());
      ::SetEvent(shared->done.get());
    }
    return 0;
  }

  HANDLE pipe_;
  std::shared_ptr<Shared> shared_;
  UniqueKernelHandle thread_;
  DWORD error_ = NO_ERROR;
  bool stuck_ = false;
};

// Writing the answer and waiting until the client has read it, so that the
// disconnect cannot cut it. All along, what the client still sends is read
// and dropped: a client blocked writing a request larger than the pipe's
// buffer reads nothing before its write is done, and an answer that quotes
// such a request does not fit in the buffer either.
class AnswerDelivery {
 public:
  AnswerDelivery(HANDLE pipe, const ServerEvents& events, Flusher& flusher)
      : pipe_(pipe), events_(events), flusher_(flusher), dropped_(PIPE_BUFFER_SIZE) {
    drain_.hEvent = events.drain;
    start_drain();
  }
  AnswerDelivery(const AnswerDelivery&) = delete;
  AnswerDelivery& operator=(const AnswerDelivery&) = delete;
  ~AnswerDelivery() {
    if (draining_) cancel(pipe_, drain_);
  }

  IoEnd deliver(const std::string& answer) {
    OVERLAPPED write{};
    write.hEvent = events_.io;
    ::ResetEvent(events_.io);
    if (!begun(::WriteFile(pipe_, answer.data(), static_cast<DWORD>(answer.size()), nullptr, &write))) {
      return IoEnd::Failed;
    }
    const IoEnd written = wait_for(events_.io);
    DWORD sent = 0;
    if (written != IoEnd::Done) {
      cancel(pipe_, write);
      return written;
    }
    if (!::GetOverlappedResult(pipe_, &write, &sent, FALSE)) return IoEnd::Failed;
    return flush();
  }

 private:
  IoEnd flush() {
    flusher_.start();
    const IoEnd end = wait_for(flusher_.done());
    if (end != IoEnd::Done) {
      if (draining_) cancel(pipe_, drain_);
      draining_ = false;
      flusher_.cut();
    }
    return end;
  }

  // Until `done` is signalled, draining meanwhile; after a stop, for the
  // grace at most.
  IoEnd wait_for(HANDLE done) {
    for (;;) {
      std::array<HANDLE, 3> waits{};
      DWORD count = 0;
      waits[count++] = done;
      if (draining_) waits[count++] = events_.drain;
      if (!stopping_) waits[count++] = events_.stop;
      const DWORD timeout =
          stopping_ ? STOP_GRACE_MS - std::min(STOP_GRACE_MS, ::GetTickCount() - stopped_at_) : INFINITE;
      const DWORD waited = ::WaitForMultipleObjects(count, waits.data(), FALSE, timeout);
      if (waited >= WAIT_OBJECT_0 + count) return IoEnd::Stopped;  // the grace is over, or the wait failed
      const HANDLE signalled = waits[waited - WAIT_OBJECT_0];
      if (signalled == done) return IoEnd::Done;
      if (signalled == events_.stop) {
        stopping_ = true;
        stopped_at_ = ::GetTickCount();
      } else {
        DWORD ignored = 0;
        // A failed read means the client has closed its end.
        draining_ = ::GetOverlappedResult(pipe_, &drain_, &ignored, FALSE) && start_drain();
      }
    }
  }

  bool start_drain() {
    ::ResetEvent(drain_.hEvent);
    draining_ = begun(::ReadFile(pipe_, dropped_.data(), static_cast<DWORD>(dropped_.size()), nullptr, &drain_));
    return draining_;
  }

  HANDLE pipe_;
  const ServerEvents& events_;
  Flusher& flusher_;
  std::vector<char> dropped_;
  OVERLAPPED drain_{};
  bool draining_ = false;
  bool stopping_ = false;
  DWORD stopped_at_ = 0;
};

// One client: wait for it, read its one request, answer, let it go.
// Returns false when the loop must end.
bool serve_next_client(HANDLE pipe, const ServerEvents& events, Flusher& flusher,
                       const BacklightOperations& operations) {
  ::ResetEvent(events.io);
  OVERLAPPED connect{};
  connect.hEvent = events.io;
  const BOOL connected = ::ConnectNamedPipe(pipe, &connect);
  const DWORD connect_error = ::GetLastError();
  if (connected) {
    if (connect_error != ERROR_PIPE_CONNECTED) return false;
  } else if (connect_error == ERROR_IO_PENDING) {
    DWORD ignored = 0;
    if (finish(pipe, connect, true, events.stop, ignored) == IoEnd::Stopped) return false;
  }
  // Any other failure of the connect (a client already there included)
  // goes on to the read, which tells.

  std::vector<char> request(PIPE_BUFFER_SIZE);
  OVERLAPPED read{};
  read.hEvent = events.io;
  ::ResetEvent(events.io);
  DWORD count = 0;
  const bool read_begun = begun(::ReadFile(pipe, request.data(), static_cast<DWORD>(request.size()), nullptr, &read));
  const IoEnd read_end = finish(pipe, read, read_begun, events.stop, count);
  if (read_end != IoEnd::Done) {
    ::DisconnectNamedPipe(pipe);
    return read_end != IoEnd::Stopped;
  }
  // A request larger than one read is answered on what fits; the rest is
  // dropped while the answer is flushed.

  std::string response =
      handle_request(std::string_view(request.data(), std::min<std::size_t>(count, request.size())), operations);
  response += '\n';
  IoEnd end = IoEnd::Done;
  {
    AnswerDelivery delivery(pipe, events, flusher);
    end = delivery.deliver(response);
  }
  if (end == IoEnd::Failed) ::CancelIoEx(pipe, nullptr);
  ::DisconnectNamedPipe(pipe);
  return end != IoEnd::Stopped;
}

}  // namespace

// Byte mode, one instance, local clients only. The first instance or none:
// a pipe of that name made by another process first would have the service
// join it, and its own backlight calls, as a client, reach that process.
// Only SYSTEM and the Administrators may open it: the default security of a
// pipe made by LocalSystem lets every user open it for reading, which
// serves nobody but one who would hold the only instance.
std::expected<UniqueKernelHandle, DWORD> create_service_pipe() {
  const auto descriptor = security_descriptor_from_text(SYSTEM_AND_ADMINISTRATORS_ONLY);
  if (!descriptor) return std::unexpected(descriptor.error());
  SECURITY_ATTRIBUTES security{sizeof(security), descriptor->get(), FALSE};
  UniqueKernelHandle pipe(::CreateNamedPipeW(
      to_wide(PIPE_NAME).c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
      static_cast<DWORD>(PIPE_BUFFER_SIZE), static_cast<DWORD>(PIPE_BUFFER_SIZE), 0, &security));
  if (!pipe) return std::unexpected(::GetLastError());
  // Wine makes a new instance of an existing pipe whatever the flag says;
  // a pipe that allows more than one instance was made by someone else.
  // Windows fails the creation itself with this error.
  DWORD max_instances = 0;
  if (!::GetNamedPipeInfo(pipe.get(), nullptr, nullptr, nullptr, &max_instances)) {
    return std::unexpected(::GetLastError());
  }
  if (max_instances != 1) return std::unexpected(static_cast<DWORD>(ERROR_ACCESS_DENIED));
  return pipe;
}

DWORD serve_clients(HANDLE pipe, const ServerEvents& events, const std::atomic<bool>& stop_requested,
                    const BacklightOperations& operations, const std::function<void()>& on_serving) {
  auto flusher = std::make_unique<Flusher>(pipe);
  if (flusher->error() != NO_ERROR) return flusher->error();
  on_serving();
  while (!stop_requested.load()) {
    if (!serve_next_client(pipe, events, *flusher, operations)) break;
    if (flusher->stuck()) {
      flusher = std::make_unique<Flusher>(pipe);
      if (flusher->error() != NO_ERROR) return flusher->error();
    }
  }
  return NO_ERROR;
}

}  // namespace ostrane
