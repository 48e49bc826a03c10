#pragma once
// Directory listing and whole-file reading, with the system's error texts.

#include <expected>
#include <string>
#include <vector>

namespace ostrane {

class FileReader {
 public:
  virtual ~FileReader() = default;
  // Names of the entries directly inside `dir`, "." and ".." left out, in
  // the order the system gives them. An error is the system's error text.
  virtual std::expected<std::vector<std::string>, std::string> list_directory(const std::string& dir) const = 0;
  // The file's bytes, unchecked.
  virtual std::expected<std::string, std::string> read_file(const std::string& path) const = 0;
};

// Win32 on Windows; POSIX on the host, where it serves tests and benchmarks.
class SystemFileReader final : public FileReader {
 public:
  std::expected<std::vector<std::string>, std::string> list_directory(const std::string& dir) const override;
  std::expected<std::string, std::string> read_file(const std::string& path) const override;
};

}  // namespace ostrane
