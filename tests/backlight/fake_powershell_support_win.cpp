#include "tests/backlight/fake_powershell_win.h"

#include <fstream>
#include <iterator>

namespace ostrane::testing_support {

std::wstring executable_dir() {
  std::wstring path(MAX_PATH * 4, L'\0');
  const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(length);
  return path.substr(0, path.find_last_of(L'\\'));
}

std::wstring temp_dir() {
  wchar_t buffer[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
  std::wstring dir(buffer, length);
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

PlacedPowershell::PlacedPowershell(const std::wstring& dir) : path_(dir + L"\\powershell.exe") {
  placed_ = ::CopyFileW((executable_dir() + L"\\fake-powershell.exe").c_str(), path_.c_str(), FALSE) != 0;
}

PlacedPowershell::~PlacedPowershell() {
  if (placed_) ::DeleteFileW(path_.c_str());
}

FakeControl::FakeControl() : dir_(make_temp_dir(L"ostrane-fake-powershell")) {
  ::SetEnvironmentVariableW(L"OSTRANE_FAKE_POWERSHELL", dir_.c_str());
}

FakeControl::~FakeControl() {
  ::SetEnvironmentVariableW(L"OSTRANE_FAKE_POWERSHELL", nullptr);
  remove_tree(dir_);
}

void FakeControl::answer(std::string_view stdout_bytes, int exit_code, int stderr_kib) {
  write_file(dir_ + L"\\stdout.bin", stdout_bytes);
  write_file(dir_ + L"\\exit_code.txt", std::to_string(exit_code));
  if (stderr_kib > 0) write_file(dir_ + L"\\stderr_kib.txt", std::to_string(stderr_kib));
}

std::optional<std::vector<std::string>> FakeControl::arguments() const {
  const auto text = read_file(dir_ + L"\\args.txt");
  if (!text) return std::nullopt;
  std::vector<std::string> args;
  std::size_t start = 0;
  for (std::size_t end; (end = text->find('\n', start)) != std::string::npos; start = end + 1) {
    args.push_back(text->substr(start, end - start));
  }
  return args;
}

std::optional<std::string> FakeControl::script() const { return read_file(dir_ + L"\\script.bin"); }

ScopedEnvironment::ScopedEnvironment(const wchar_t* name, const std::wstring& value) : name_(name) {
  const DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
  if (size > 0) {
    std::wstring old(size, L'\0');
    old.resize(::GetEnvironmentVariableW(name, old.data(), size));
    old_ = std::move(old);
  }
  ::SetEnvironmentVariableW(name, value.c_str());
}

ScopedEnvironment::~ScopedEnvironment() { ::SetEnvironmentVariableW(name_.c_str(), old_ ? old_->c_str() : nullptr); }

}  // namespace ostrane::testing_support
