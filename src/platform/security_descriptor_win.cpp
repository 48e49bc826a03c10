#include "src/platform/security_descriptor_win.h"

#include <sddl.h>

namespace ostrane {
namespace {

using FromText = decltype(::ConvertStringSecurityDescriptorToSecurityDescriptorW);

// Looked up on first use and kept: advapi32.dll is not imported, so that
// the commands that need none of it start without it.
std::expected<FromText*, DWORD> load_from_text() {
  const HMODULE advapi32 = ::LoadLibraryExW(L"advapi32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (advapi32 == nullptr) return std::unexpected(::GetLastError());
  const FARPROC address = ::GetProcAddress(advapi32, "ConvertStringSecurityDescriptorToSecurityDescriptorW");
  if (address == nullptr) return std::unexpected(::GetLastError());
  return reinterpret_cast<FromText*>(reinterpret_cast<void*>(address));
}

}  // namespace

std::expected<UniqueLocalMemory, DWORD> security_descriptor_from_text(const wchar_t* text) {
  static const std::expected<FromText*, DWORD> FROM_TEXT = load_from_text();
  if (!FROM_TEXT) return std::unexpected(FROM_TEXT.error());
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!(*FROM_TEXT)(text, SDDL_REVISION_1, &descriptor, nullptr)) return std::unexpected(::GetLastError());
  return UniqueLocalMemory(descriptor);
}

}  // namespace ostrane
