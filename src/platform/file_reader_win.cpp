#include <windows.h>

#include <array>
#include <cstdint>
#include <iterator>
#include <utility>

#include "src/common/os_error.h"
#include "src/platform/device_names.h"
#include "src/platform/directory_listing.h"
#include "src/platform/file_reader.h"
#include "src/platform/unique_handle_win.h"
#include "src/platform/wide_win.h"

namespace ostrane {

std::expected<std::vector<std::string>, std::string> SystemFileReader::list_directory(const std::string& dir) const {
  // An empty name would become "\*", the root of the current drive.
  if (dir.empty()) return std::unexpected(os_error_text(ERROR_PATH_NOT_FOUND));
  const bool ends_with_separator = dir.back() == '\\' || dir.back() == '/';
  const std::wstring pattern = to_wide(dir + (ends_with_separator ? "*" : "\\*"));

  WIN32_FIND_DATAW data{};
  const UniqueFindHandle find(::FindFirstFileW(pattern.c_str(), &data));
  if (!find) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return std::vector<std::string>{};
    return std::unexpected(os_error_text(error));
  }
  bool first = true;
  return collect_listing([&]() -> ListingStep {
    if (!std::exchange(first, false) && !::FindNextFileW(find.get(), &data)) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_NO_MORE_FILES) return {ListingStep::Kind::End, {}};
      return {ListingStep::Kind::Failed, os_error_text(error)};
    }
    return {ListingStep::Kind::Entry, from_wide(std::wstring_view(std::data(data.cFileName)))};
  });
}

std::expected<std::string, ReadFailure> SystemFileReader::read_file(const std::string& path,
                                                                    std::size_t max_bytes) const {
  const auto system = [](DWORD error) {
    return std::unexpected(ReadFailure{ReadFailure::Kind::System, os_error_text(error)});
  };
  // Opening one may fail without naming it, or wait for console input.
  if (is_device_name(path.substr(path.find_last_of("\\/") + 1))) {
    return std::unexpected(ReadFailure{ReadFailure::Kind::NotADiskFile, {}});
  }
  const std::wstring wide = to_wide(path);
  const UniqueKernelHandle file(::CreateFileW(wide.c_str(), GENERIC_READ,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return system(::GetLastError());
  // What else a name may open: a listing of \\.\pipe\ names pipes.
  if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
    return std::unexpected(ReadFailure{ReadFailure::Kind::NotADiskFile, {}});
  }
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.get(), &size)) return system(::GetLastError());
  if (static_cast<std::uint64_t>(size.QuadPart) > max_bytes) {
    return std::unexpected(ReadFailure{ReadFailure::Kind::TooLarge, {}});
  }

  // A short read of a disk file is its end: profiles fit in one read, so a
  // file costs one open, one read and one close, which under Wine are each
  // a trip to the server. The buffer is left uninitialised: only the bytes
  // a read wrote are used, and clearing 64 KiB for a 2 KiB profile cost
  // about 1 ms for 370 of them under Wine.
  std::string content;
  std::array<char, 65536> buffer;  // NOLINT(cppcoreguidelines-pro-type-member-init)
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) {
      return system(::GetLastError());
    }
    content.append(buffer.data(), read);
    // It may have grown since it was measured.
    if (content.size() > max_bytes) return std::unexpected(ReadFailure{ReadFailure::Kind::TooLarge, {}});
    if (read < buffer.size()) return content;
  }
}

}  // namespace ostrane
