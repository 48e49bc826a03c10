#pragma once
// A profile directory in memory, counting what the loader opens.

#include <map>
#include <string>
#include <vector>

#include "src/platform/file_reader.h"

namespace ostrane::testing {

class FakeFileReader final : public FileReader {
 public:
  // `listing` in the order the system would give it; a content of nullopt
  // makes the read fail with `read_error`.
  std::vector<std::string> listing;
  std::map<std::string, std::optional<std::string>> files;  // by full path
  std::optional<std::string> listing_error;
  std::string read_error = "Accès refusé. (os error 5)";
  mutable std::vector<std::string> reads;

  std::expected<std::vector<std::string>, std::string> list_directory(const std::string&) const override {
    if (listing_error) return std::unexpected(*listing_error);
    return listing;
  }
  std::expected<std::string, ReadFailure> read_file(const std::string& path, std::size_t) const override {
    reads.push_back(path);
    const auto it = files.find(path);
    if (it == files.end() || !it->second) return std::unexpected(ReadFailure{ReadFailure::Kind::System, read_error});
    return *it->second;
  }
};

}  // namespace ostrane::testing
