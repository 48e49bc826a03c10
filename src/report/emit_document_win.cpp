#include "src/report/emit_document.h"

#include <windows.h>

#include <algorithm>

#include "src/common/os_error.h"
#include "src/platform/console_win.h"
#include "src/platform/unique_handle_win.h"
#include "src/platform/wide_win.h"

namespace ostrane {
namespace {

DWORD write_all(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1U << 20));
    if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr)) return ::GetLastError();
    if (written == 0) return ERROR_WRITE_FAULT;
    bytes.remove_prefix(written);
  }
  return ERROR_SUCCESS;
}

}  // namespace

bool emit_document(std::string_view text, const std::optional<std::string>& out) {
  std::string document(text);
  document.push_back('\n');

  if (!out) {
    // A standard output that refuses the document (a full disk behind a
    // redirection) is a failure, not a success with half a report.
    if (write_std(StdStream::Out, document)) return true;
    write_std(StdStream::Err, write_error_line("la sortie standard", os_error_text(::GetLastError())));
    return false;
  }

  const std::wstring path = to_wide(*out);
  const UniqueKernelHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  const DWORD error = file ? write_all(file.get(), document) : ::GetLastError();
  if (error == ERROR_SUCCESS) return true;
  write_std(StdStream::Err, write_error_line(*out, os_error_text(error)));
  return false;
}

}  // namespace ostrane
