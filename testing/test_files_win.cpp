#include "testing/test_files_win.h"

#include <array>
#include <fstream>
#include <iterator>

namespace ostrane::testing_support {

std::wstring executable_dir() {
  std::wstring path(MAX_PATH * 4, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path.substr(0, path.find_last_of(L'\\'));
}

std::wstring full_path(const std::wstring& path) {
  std::wstring full(MAX_PATH * 4, L'\0');
  full.resize(::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr));
  return full;
}

std::wstring temp_dir() {
  std::array<wchar_t, MAX_PATH + 1> buffer{};
  std::wstring dir(buffer.data(), ::GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data()));
  if (!dir.empty() && dir.back() == L'\\') dir.pop_back();
  return dir;
}

std::wstring make_temp_dir(std::wstring_view name) {
  std::wstring dir = temp_dir() + L"\\" + std::wstring(name) + L"-" + std::to_wstring(::GetCurrentProcessId());
  remove_tree(dir);
  ::CreateDirectoryW(dir.c_str(), nullptr);
  return dir;
}

void remove_tree(const std::wstring& dir) {
  WIN32_FIND_DATAW entry;
  const HANDLE find = ::FindFirstFileW((dir + L"\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = dir + L"\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        remove_tree(path);
      } else {
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(path.c_str());
      }
    } while (::FindNextFileW(find, &entry));
    ::FindClose(find);
  }
  ::RemoveDirectoryW(dir.c_str());
}

std::optional<std::string> read_file(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::wstring& path, std::string_view bytes) {
  std::ofstream(path.c_str(), std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool file_exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string read_to_end(HANDLE handle) {
  std::string out;
  std::array<char, 4096> chunk{};
  DWORD count = 0;
  while (::ReadFile(handle, chunk.data(), static_cast<DWORD>(chunk.size()), &count, nullptr) && count > 0) {
    out.append(chunk.data(), count);
  }
  return out;
}

}  // namespace ostrane::testing_support
