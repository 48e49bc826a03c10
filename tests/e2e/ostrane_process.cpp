#include "tests/e2e/ostrane_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string_view>

namespace ostrane::e2e {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void child_fail(const char* what) {
  const std::string text = std::string("ostrane_process: ") + what + ": " + std::strerror(errno) + "\n";
  (void)!::write(2, text.data(), text.size());
  ::_exit(127);
}

// A directory holding class/dmi/id/<files>, to be bound over /sys/class.
fs::path make_dmi_tree(const DmiFiles& files) {
  std::string pattern = (fs::temp_directory_path() / "ostrane-dmi-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  const fs::path root(pattern);
  fs::create_directories(root / "dmi" / "id");
  for (const auto& [name, content] : files) {
    std::ofstream(root / "dmi" / "id" / name, std::ios::binary) << content;
  }
  return root;
}

// Reads both streams until the child has ended. A process the child left
// behind (a Wine server it started, say) may hold the pipes open, so the end
// of the child, not the end of the pipes, ends the reading.
int drain_until_exit(pid_t pid, int out_fd, int err_fd, ProcessResult& result) {
  std::array<pollfd, 2> fds{{{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}}};
  std::array<std::string*, 2> sinks{&result.out, &result.err};
  char buffer[65536];
  int status = 0;
  bool exited = false;
  for (;;) {
    if (!exited) {
      const pid_t done = ::waitpid(pid, &status, WNOHANG);
      if (done == pid) exited = true;
    }
    const int ready = ::poll(fds.data(), fds.size(), exited ? 0 : 20);
    if (ready < 0 && errno != EINTR) throw std::runtime_error("poll failed");
    bool read_any = false;
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].fd < 0 || ready <= 0 || fds[i].revents == 0) continue;
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
        read_any = true;
      } else if (n == 0 || errno != EINTR) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
      }
    }
    const bool all_closed = fds[0].fd < 0 && fds[1].fd < 0;
    if (exited && (!read_any || all_closed)) break;
    if (all_closed) {
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      exited = true;
      break;
    }
  }
  for (auto& fd : fds) {
    if (fd.fd >= 0) ::close(fd.fd);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

std::string ostrane_exe() {
  if (const char* path = std::getenv("OSTRANE_EXE")) return path;
  return OSTRANE_DEFAULT_EXE;
}

std::optional<std::string> dmi_namespace_unavailable() {
  static const std::optional<std::string> reason = []() -> std::optional<std::string> {
    const pid_t pid = ::fork();
    if (pid < 0) return "fork failed";
    if (pid == 0) {
      const bool ok = ::unshare(CLONE_NEWNS) == 0 &&
                      ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                      ::mount("none", "/sys/class", "tmpfs", 0, nullptr) == 0;
      ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return std::nullopt;
    return "no private mount namespace with a tmpfs over /sys/class can be made here (needs root or "
           "CAP_SYS_ADMIN)";
  }();
  return reason;
}

namespace {

ProcessResult run_once(const RunOptions& options) {
  std::optional<fs::path> dmi_root;
  if (options.dmi) dmi_root = make_dmi_tree(*options.dmi);

  std::vector<std::string> argv_store{OSTRANE_WINE_RUN, ostrane_exe()};
  argv_store.insert(argv_store.end(), options.args.begin(), options.args.end());
  std::vector<char*> argv;
  for (auto& a : argv_store) argv.push_back(a.data());
  argv.push_back(nullptr);

  int out_pipe[2], err_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0 || ::pipe2(err_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");

  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (dmi_root) {
      // Only this child sees the chosen firmware; the mount dies with it.
      if (::unshare(CLONE_NEWNS) != 0) child_fail("unshare");
      if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) child_fail("make-rprivate");
      if (::mount(dmi_root->c_str(), "/sys/class", nullptr, MS_BIND, nullptr) != 0) child_fail("bind mount");
    }
    if (!options.working_dir.empty() && ::chdir(options.working_dir.c_str()) != 0) child_fail("chdir");
    const int null_fd = ::open("/dev/null", O_RDONLY);
    const int out_fd = options.stdout_path.empty() ? out_pipe[1] : ::open(options.stdout_path.c_str(), O_WRONLY);
    if (null_fd < 0 || out_fd < 0 || ::dup2(null_fd, 0) < 0 || ::dup2(out_fd, 1) < 0 || ::dup2(err_pipe[1], 2) < 0) {
      child_fail("dup2");
    }
    ::execv(argv[0], argv.data());
    child_fail("execv");
  }
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);

  ProcessResult result;
  result.exit_code = drain_until_exit(pid, out_pipe[0], err_pipe[0], result);
  if (dmi_root) fs::remove_all(*dmi_root);
  return result;
}

}  // namespace

namespace {

// Wine writes its error channel on the stream that is also the program's
// standard error. Its lines ("0124:err:module:import_dll ...", or without the
// thread before a thread exists) are taken out, so that the program's own
// bytes are what a test compares, and shown on the test's standard error,
// where a failing test's output tells why.
bool is_wine_line(std::string_view line) {
  if (line.starts_with("err:")) return true;
  std::size_t digits = 0;
  while (digits < line.size() && std::isxdigit(static_cast<unsigned char>(line[digits]))) ++digits;
  return digits == 4 && line.substr(digits).starts_with(":err:");
}

void split_wine_lines(ProcessResult& result) {
  std::string program;
  for (std::size_t start = 0; start < result.err.size();) {
    const std::size_t end = std::min(result.err.find('\n', start), result.err.size() - 1) + 1;
    const std::string_view line = std::string_view(result.err).substr(start, end - start);
    (is_wine_line(line) ? result.wine : program).append(line);
    start = end;
  }
  result.err = std::move(program);
}

// A run is made again only for a failure shown to be the emulation's, once,
// and at most this many times in one test program: more means something that
// the test must not hide.
constexpr int MAX_RUNS_AGAIN = 3;
int runs_again = 0;

}  // namespace

int runs_made_again() { return runs_again; }

// The failure made again, shown to come from Wine and not the program: its
// own loader, on Linux, now and then trips a glibc assertion while the
// process exits ("Inconsistency detected by ld.so: dl-fini.c"), status 127,
// after the program has done its work.
ProcessResult run_ostrane(const RunOptions& options) {
  ProcessResult result = run_once(options);
  split_wine_lines(result);
  const bool loader_fault =
      result.exit_code == 127 && result.err.find("Inconsistency detected by ld.so") != std::string::npos;
  if (!result.wine.empty()) std::fprintf(stderr, "run_ostrane: Wine said:\n%s", result.wine.c_str());
  if (loader_fault && runs_again < MAX_RUNS_AGAIN) {
    ++runs_again;
    std::fprintf(stderr, "run_ostrane: status 127 from Wine's loader at exit; running once more (%d of at most %d)\n",
                 runs_again, MAX_RUNS_AGAIN);
    result = run_once(options);
    split_wine_lines(result);
    if (!result.wine.empty()) std::fprintf(stderr, "run_ostrane: Wine said:\n%s", result.wine.c_str());
  }
  return result;
}

ProcessResult run_ostrane_on_terminal(const std::vector<std::string>& args) {
  std::vector<std::string> argv_store{OSTRANE_WINE_RUN, ostrane_exe()};
  argv_store.insert(argv_store.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_store) argv.push_back(a.data());
  argv.push_back(nullptr);

  int master = -1;
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) throw std::runtime_error("forkpty failed");
  if (pid == 0) {
    ::setenv("LANG", "C.UTF-8", 1);
    ::execv(argv[0], argv.data());
    child_fail("execv");
  }
  ProcessResult result;
  // A terminal has one stream for both; a closed terminal reads as EIO.
  const int spare = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  result.exit_code = drain_until_exit(pid, master, spare, result);
  return result;
}

}  // namespace ostrane::e2e
