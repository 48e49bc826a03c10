#include "src/platform/system_library_win.h"

#include <gtest/gtest.h>

#include "src/common/os_error.h"

namespace ostrane {
namespace {

constexpr wchar_t BESIDE_DLL[] = L"ostrane-test-beside.dll";

TEST(SystemLibrary, CallsAFunctionOfASystemDll) {
  const auto kernel = SystemLibrary::load(L"kernel32.dll");
  ASSERT_TRUE(kernel) << kernel.error();
  const auto process_id = kernel->function<decltype(::GetCurrentProcessId)>("GetCurrentProcessId");
  ASSERT_TRUE(process_id) << process_id.error();
  EXPECT_EQ((*process_id)(), ::GetCurrentProcessId());
}

TEST(SystemLibrary, MissingFunctionNamesItAndItsDll) {
  const auto kernel = SystemLibrary::load(L"kernel32.dll");
  ASSERT_TRUE(kernel) << kernel.error();
  const auto missing = kernel->function<void()>("OstraneNoSuchFunction");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error(), "OstraneNoSuchFunction (kernel32.dll) : " + os_error_text(ERROR_PROC_NOT_FOUND));
  EXPECT_TRUE(missing.error().ends_with(" (os error 127)")) << missing.error();
}

TEST(SystemLibrary, MissingDllNamesIt) {
  const auto missing = SystemLibrary::load(L"ostrane-no-such-library.dll");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error(), "ostrane-no-such-library.dll : " + os_error_text(ERROR_MOD_NOT_FOUND));
  EXPECT_TRUE(missing.error().ends_with(" (os error 126)")) << missing.error();
}

// The DLL beside the program is what a planted DLL would be: found by the
// ordinary search, never by the system-directory one. The system search
// goes first, since a DLL once loaded is found by its name alone.
TEST(SystemLibrary, IgnoresADllBesideTheProgram) {
  const auto system = SystemLibrary::load(BESIDE_DLL);
  const UniqueModule ordinary(::LoadLibraryW(BESIDE_DLL));
  if (!ordinary) GTEST_SKIP() << "the test DLL beside the program cannot be loaded at all";
  ASSERT_NE(::GetProcAddress(ordinary.get(), "ostrane_beside"), nullptr);

  ASSERT_FALSE(system) << "found outside the system directory";
  EXPECT_EQ(system.error(), "ostrane-test-beside.dll : " + os_error_text(ERROR_MOD_NOT_FOUND));
}

}  // namespace
}  // namespace ostrane
