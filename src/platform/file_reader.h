#pragma once
// Directory listing and whole-file reading, with the system's error texts.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <string>
#include <vector>

namespace ostrane {

// Why a file was not read: the system's error, or what the reader refuses
// before reading, a device, a pipe or anything but a file on a disk (a
// console waits for input forever), a link to another place (it is never
// followed: in a folder handed to the user it could lead anywhere, to a
// pipe or a server that would get the user's identity), and a file larger
// than asked for (a huge or sparse one would be read whole into memory).
struct ReadFailure {
  enum class Kind { System, NotADiskFile, Link, TooLarge };
  Kind kind = Kind::System;
  std::string system_text;  // for System

  friend bool operator==(const ReadFailure&, const ReadFailure&) = default;
};

// A Windows reparse tag that names another place: a symbolic link, a
// junction, a WSL link. The others (compression, deduplication, a cloud
// placeholder) are the file itself, whose content a filter shows.
constexpr bool is_link_reparse_tag(std::uint32_t tag) { return (tag & 0x20000000U) != 0; }

class FileReader {
 public:
  virtual ~FileReader() = default;
  // Names of the entries directly inside `dir`, "." and ".." left out, in
  // the order the system gives them. An error is the system's error text.
  virtual std::expected<std::vector<std::string>, std::string> list_directory(const std::string& dir) const = 0;
  // The file's bytes, unchecked, when it is a file on a disk of at most
  // `max_bytes`, opened as itself. A directory fails with the system's
  // error for reading one.
  virtual std::expected<std::string, ReadFailure> read_file(const std::string& path, std::size_t max_bytes) const = 0;
};

// Win32 on Windows; POSIX on the host, where it serves tests and benchmarks.
class SystemFileReader final : public FileReader {
 public:
  std::expected<std::vector<std::string>, std::string> list_directory(const std::string& dir) const override;
  std::expected<std::string, ReadFailure> read_file(const std::string& path, std::size_t max_bytes) const override;
};

}  // namespace ostrane
