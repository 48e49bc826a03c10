// After each failed test, what Wine's services wrote on its error channel
// while it ran (tools/wine-prefix keeps that log): a process that the service
// fails to start says why only there.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "testing/test_files_win.h"

namespace ostrane {
namespace {

std::wstring services_log_path() {
  wchar_t unix_path[MAX_PATH];
  const DWORD n = ::GetEnvironmentVariableW(L"OSTRANE_WINE_SERVICES_LOG", unix_path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  std::wstring path = L"Z:";  // Wine's drive for the Unix root
  for (const wchar_t* c = unix_path; *c; ++c) path += *c == L'/' ? L'\\' : *c;
  return path;
}

class ServicesLogOnFailure : public ::testing::EmptyTestEventListener {
 public:
  void OnTestStart(const ::testing::TestInfo&) override { seen_ = current().size(); }
  void OnTestEnd(const ::testing::TestInfo& test) override {
    if (!test.result()->Failed()) return;
    const std::string log = current();
    const std::string fresh = log.size() > seen_ ? log.substr(seen_) : "";
    std::printf("Wine's services log during this test: %s\n%s", fresh.empty() ? "nothing" : "", fresh.c_str());
  }

 private:
  std::string current() const {
    return path_.empty() ? std::string() : testing_support::read_file(path_).value_or("");
  }
  std::wstring path_ = services_log_path();
  std::size_t seen_ = 0;
};

const bool registered = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new ServicesLogOnFailure);
  return true;
}();

}  // namespace
}  // namespace ostrane
