#include "tests/backlight/fake_powershell_win.h"


namespace ostrane::testing_support {

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
std::optional<std::string> FakeControl::temp_variables() const { return read_file(dir_ + L"\\temp.txt"); }

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
