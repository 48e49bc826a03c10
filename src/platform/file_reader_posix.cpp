#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>

#include "src/common/os_error.h"
#include "src/platform/directory_listing.h"
#include "src/platform/file_reader.h"

namespace ostrane {
namespace {

std::string errno_text(int error) { return format_os_error(std::strerror(error), static_cast<std::uint32_t>(error)); }

// Paths are joined the Windows way; here a backslash is a separator too.
std::string native(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

// Closes the descriptor on every way out of the read.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() { ::close(fd_); }

 private:
  int fd_;
};

}  // namespace

std::expected<std::vector<std::string>, std::string> SystemFileReader::list_directory(const std::string& dir) const {
  const std::unique_ptr<DIR, int (*)(DIR*)> handle(::opendir(native(dir).c_str()), &::closedir);
  if (!handle) return std::unexpected(errno_text(errno));
  return collect_listing([&]() -> ListingStep {
    // readdir tells the end from a failure only through errno.
    errno = 0;
    if (const dirent* entry = ::readdir(handle.get())) return {ListingStep::Kind::Entry, std::data(entry->d_name)};
    if (errno != 0) return {ListingStep::Kind::Failed, errno_text(errno)};
    return {ListingStep::Kind::End, {}};
  });
}

std::expected<std::string, ReadFailure> SystemFileReader::read_file(const std::string& path,
                                                                    std::size_t max_bytes) const {
  // Not blocking, so that opening a FIFO does not wait for a writer; a
  // symbolic link is not followed, and opening one fails with ELOOP.
  const int fd = ::open(native(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0 && errno == ELOOP) return std::unexpected(ReadFailure{ReadFailure::Kind::Link, {}});
  if (fd < 0) return std::unexpected(ReadFailure{ReadFailure::Kind::System, errno_text(errno)});
  const FileDescriptor closer(fd);
  struct stat status {};
  if (::fstat(fd, &status) != 0) return std::unexpected(ReadFailure{ReadFailure::Kind::System, errno_text(errno)});
  if (S_ISDIR(status.st_mode)) return std::unexpected(ReadFailure{ReadFailure::Kind::System, errno_text(EISDIR)});
  if (!S_ISREG(status.st_mode)) return std::unexpected(ReadFailure{ReadFailure::Kind::NotADiskFile, {}});
  if (static_cast<std::uintmax_t>(status.st_size) > max_bytes) {
    return std::unexpected(ReadFailure{ReadFailure::Kind::TooLarge, {}});
  }
  std::string content;
  std::array<char, 65536> buffer{};
  for (;;) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::unexpected(ReadFailure{ReadFailure::Kind::System, errno_text(errno)});
    }
    if (n == 0) return content;
    content.append(buffer.data(), static_cast<std::size_t>(n));
    // It may have grown since it was measured.
    if (content.size() > max_bytes) return std::unexpected(ReadFailure{ReadFailure::Kind::TooLarge, {}});
  }
}

}  // namespace ostrane
