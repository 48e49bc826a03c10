#pragma once
// The test side of fake_powershell_win.cpp: a control directory of its own,
// the fake placed where the runner looks, and what it recorded.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "testing/test_files_win.h"

namespace ostrane::testing_support {

// Copies the fake to dir\powershell.exe for as long as it lives.
class PlacedPowershell {
 public:
  explicit PlacedPowershell(const std::wstring& dir);
  PlacedPowershell(const PlacedPowershell&) = delete;
  PlacedPowershell& operator=(const PlacedPowershell&) = delete;
  ~PlacedPowershell();
  bool placed() const { return placed_; }

 private:
  std::wstring path_;
  bool placed_ = false;
};

// A control directory, announced to the fake through the environment.
class FakeControl {
 public:
  FakeControl();
  FakeControl(const FakeControl&) = delete;
  FakeControl& operator=(const FakeControl&) = delete;
  ~FakeControl();

  void answer(std::string_view stdout_bytes, int exit_code = 0, int stderr_kib = 0);
  // Each argument after the program name; nothing when the fake did not run.
  std::optional<std::vector<std::string>> arguments() const;
  std::optional<std::string> script() const;
  // "TEMP=…\nTMP=…\n" as the fake saw them.
  std::optional<std::string> temp_variables() const;
  const std::wstring& dir() const { return dir_; }

 private:
  std::wstring dir_;
};

// Sets an environment variable for the scope, then puts the old value back.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const wchar_t* name, const std::wstring& value);
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
  ~ScopedEnvironment();

 private:
  std::wstring name_;
  std::optional<std::wstring> old_;
};

}  // namespace ostrane::testing_support
