#include <windows.h>

#include <array>
#include <cstdint>
#include <iterator>
#include <optional>
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

namespace {

// Never through a link, and with no more than the user's identity to a pipe
// or a server: not their right to act as them.
constexpr DWORD OPEN_AS_ITSELF =
    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;
constexpr DWORD OPEN_THROUGH_FILTER = FILE_ATTRIBUTE_NORMAL | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;

UniqueKernelHandle open_for_reading(const std::wstring& path, DWORD flags) {
  return UniqueKernelHandle(::CreateFileW(path.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, flags, nullptr));
}

std::optional<std::pair<DWORD, std::uint64_t>> file_identity(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file, &info)) return std::nullopt;
  return std::pair(info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow);
}

}  // namespace

std::expected<std::string, ReadFailure> SystemFileReader::read_file(const std::string& path,
                                                                    std::size_t max_bytes) const {
  const auto system = [](DWORD error) {
    return std::unexpected(ReadFailure{ReadFailure::Kind::System, os_error_text(error)});
  };
  const auto refused = [](ReadFailure::Kind kind) { return std::unexpected(ReadFailure{kind, {}}); };
  // Opening one may fail without naming it, or wait for console input.
  if (is_device_name(std::string_view(path).substr(path.find_last_of("\\/") + 1))) {
    return refused(ReadFailure::Kind::NotADiskFile);
  }
  const std::wstring wide = to_wide(path);
  UniqueKernelHandle file = open_for_reading(wide, OPEN_AS_ITSELF);
  if (!file) return system(::GetLastError());
  // What else a name may open: a listing of \\.\pipe\ names pipes.
  if (::GetFileType(file.get()) != FILE_TYPE_DISK) return refused(ReadFailure::Kind::NotADiskFile);
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!::GetFileInformationByHandleEx(file.get(), FileAttributeTagInfo, &tag, sizeof tag)) {
    return system(::GetLastError());
  }
  if ((tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    if (is_link_reparse_tag(tag.ReparseTag)) return refused(ReadFailure::Kind::Link);
    // Opened as itself, a compressed or cloud file may show no content:
    // open it again through its filter, which must give the same file.
    UniqueKernelHandle shown = open_for_reading(wide, OPEN_THROUGH_FILTER);
    if (!shown) return system(::GetLastError());
    const auto before = file_identity(file.get());
    const auto after = file_identity(shown.get());
    if (!before || !after) return system(::GetLastError());
    if (*before != *after) return refused(ReadFailure::Kind::Link);
    file = std::move(shown);
  }
  // A short read of a disk file is its end: profiles fit in one read, so a
  // file costs one open, one read and one close, which under Wine are each
  // a trip to the server. Its size is not asked for (another trip, some
  // 6 ms for the shipped collection): the reads stop just past `max_bytes`.
  // The buffer is left uninitialised: only the bytes a read wrote are used,
  // and clearing 64 KiB for a 2 KiB profile cost about 1 ms for 370 of them
  // under Wine.
  std::string content;
  std::array<char, 65536> buffer;  // NOLINT(cppcoreguidelines-pro-type-member-init)
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) {
      return system(::GetLastError());
    }
    content.append(buffer.data(), read);
    if (content.size() > max_bytes) return refused(ReadFailure::Kind::TooLarge);
    if (read < buffer.size()) return content;
  }
}

}  // namespace ostrane
