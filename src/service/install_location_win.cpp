#include "src/service/install_location_win.h"

#include <array>
#include <expected>
#include <utility>
#include <vector>

#include "src/backlight/script_runner.h"
#include "src/common/os_error.h"
#include "src/platform/unique_handle_win.h"
#include "src/platform/wide_win.h"
#include "src/service/install_location.h"

namespace ostrane {
namespace {

// What the backlight script runs from the "framework" folder.
constexpr std::array<std::string_view, 2> FRAMEWORK_TOOLS = {"framework_tool.exe", "qmk_hid.exe"};

std::optional<std::string> sid_text(const ServiceManagerApi& api, PSID sid) {
  wchar_t* text = nullptr;
  if (!api.sid_to_text(sid, &text)) return std::nullopt;
  const UniqueLocalMemory owned(text);
  return from_wide(text);
}

// The SID an entry names, wherever its type puts it: after the object
// GUIDs that an object entry may carry.
PSID entry_sid(ACE_HEADER* header) {
  switch (header->AceType) {
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_OBJECT_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE: {
      auto* object = reinterpret_cast<ACCESS_ALLOWED_OBJECT_ACE*>(header);
      auto* at = reinterpret_cast<BYTE*>(&object->ObjectType);
      if (object->Flags & ACE_OBJECT_TYPE_PRESENT) at += sizeof(GUID);
      if (object->Flags & ACE_INHERITED_OBJECT_TYPE_PRESENT) at += sizeof(GUID);
      return at;
    }
    default: return &reinterpret_cast<ACCESS_ALLOWED_ACE*>(header)->SidStart;
  }
}

std::expected<ObjectSecurity, std::string> read_security(const ServiceManagerApi& api, const std::string& path) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD error = api.get_named_security_info(to_wide(path).c_str(), SE_FILE_OBJECT,
                                                  OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                                  nullptr, &dacl, nullptr, &descriptor);
  if (error != ERROR_SUCCESS) return std::unexpected(os_error_text(error));
  const UniqueLocalMemory owned(descriptor);
  ObjectSecurity security;
  if (owner != nullptr) {
    const auto text = sid_text(api, owner);
    if (!text) return std::unexpected(os_error_text(::GetLastError()));
    security.owner_sid = *text;
  }
  if (dacl == nullptr) return security;
  security.dacl.emplace();
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!api.get_ace(dacl, i, &ace)) return std::unexpected(os_error_text(::GetLastError()));
    auto* header = static_cast<ACE_HEADER*>(ace);
    AceEntry entry{ace_type_of(header->AceType), {}, 0, header->AceFlags, header->AceType};
    if (entry.type == AceType::Allow || entry.type == AceType::Deny) {
      // Every entry type that grants or denies has its mask first.
      entry.mask = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header)->Mask;
      const auto text = sid_text(api, entry_sid(header));
      if (!text) return std::unexpected(os_error_text(::GetLastError()));
      entry.sid = *text;
    }
    security.dacl->push_back(std::move(entry));
  }
  return security;
}

std::optional<std::string> account_name(const ServiceManagerApi& api, const std::string& sid_text) {
  PSID sid = nullptr;
  if (!api.sid_from_text(to_wide(sid_text).c_str(), &sid)) return std::nullopt;
  const UniqueLocalMemory owned(sid);
  std::array<wchar_t, 256> name{};
  std::array<wchar_t, 256> domain{};
  DWORD name_size = name.size();
  DWORD domain_size = domain.size();
  SID_NAME_USE use{};
  if (!api.lookup_account_sid(nullptr, sid, name.data(), &name_size, domain.data(), &domain_size, &use)) {
    return std::nullopt;
  }
  const std::string account = from_wide(name.data());
  const std::string authority = from_wide(domain.data());
  return authority.empty() ? account : authority + "\\" + account;
}

std::expected<std::string, std::string> installer_sid(const ServiceManagerApi& api) {
  HANDLE token = nullptr;
  if (!api.open_process_token(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
    return std::unexpected(os_error_text(::GetLastError()));
  }
  const UniqueKernelHandle owned(token);
  DWORD size = 0;
  api.get_token_information(token, TokenUser, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  if (size == 0 || !api.get_token_information(token, TokenUser, buffer.data(), size, &size)) {
    return std::unexpected(os_error_text(::GetLastError()));
  }
  const auto text = sid_text(api, reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid);
  if (!text) return std::unexpected(os_error_text(::GetLastError()));
  return *text;
}

// Wine has one account, the one it runs as, and reports it as the owner of
// every file, with full access: there it stands for the administrators.
// Windows has no such export.
bool under_wine() {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

LocationRefusal unreadable(std::string path, DWORD error) {
  return {RefusalReason::Unreadable, std::move(path), {}, os_error_text(error)};
}

// The path the system opens for `path`: junctions, links, short names and
// substituted drives resolved. That is what gets checked and registered,
// so that nothing on the way can be swapped between the two.
std::expected<std::string, LocationRefusal> final_path(std::string_view path) {
  const UniqueKernelHandle file(::CreateFileW(to_wide(path).c_str(), FILE_READ_ATTRIBUTES,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file) return std::unexpected(unreadable(std::string(path), ::GetLastError()));
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetFinalPathNameByHandleW(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                                     FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return std::unexpected(unreadable(std::string(path), ::GetLastError()));
    if (length < buffer.size()) {
      buffer.resize(length);
      break;
    }
    buffer.resize(length);
  }
  auto local = local_path_from_final(from_wide(buffer));
  if (!local) return local;
  // A mapped network drive may still come back with its letter.
  const std::wstring root = to_wide(local->substr(0, 3));
  if (::GetDriveTypeW(root.c_str()) == DRIVE_REMOTE) {
    return std::unexpected(LocationRefusal{RefusalReason::NotLocal, *local, {}, {}});
  }
  return local;
}

// Appends what `path` is to `to`. A path that is not there is left out
// when it is `optional`; any other failure to read it is a refusal.
std::optional<LocationRefusal> examine(const ServiceManagerApi& api, std::vector<ExaminedObject>& to, std::string path,
                                       ObjectRole role, bool optional = false) {
  const DWORD attributes = ::GetFileAttributesW(to_wide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    if (optional && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)) return std::nullopt;
    return unreadable(std::move(path), error);
  }
  auto security = read_security(api, path);
  if (!security) return LocationRefusal{RefusalReason::Unreadable, std::move(path), {}, std::move(security.error())};
  to.push_back({std::move(path), role, (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0, std::move(*security)});
  return std::nullopt;
}

// In the order the rule judges them; the install folder is the first folder.
std::expected<InstallLayout, LocationRefusal> read_layout(const ServiceManagerApi& api, const std::string& exe) {
  const std::string dir = parent_windows_path(exe);
  const std::string framework = join_windows_path(dir, FRAMEWORK_DIR_NAME);
  InstallLayout layout;
  auto& contents = layout.contents;
  std::optional<LocationRefusal> refusal = examine(api, contents, exe, ObjectRole::File);
  if (!refusal) refusal = examine(api, contents, dir, ObjectRole::Folder);
  // What the runner and the script would run, when it is there.
  if (!refusal) refusal = examine(api, contents, join_windows_path(dir, POWERSHELL_EXE), ObjectRole::File, true);
  if (!refusal) refusal = examine(api, contents, framework, ObjectRole::Folder, true);
  for (const std::string_view tool : FRAMEWORK_TOOLS) {
    if (!refusal) refusal = examine(api, contents, join_windows_path(framework, tool), ObjectRole::File, true);
  }
  const std::vector<std::string> chain = folder_and_parents(dir);
  for (std::size_t i = 1; i < chain.size() && !refusal; ++i) {
    refusal = examine(api, layout.parents, chain[i], ObjectRole::Parent);
  }
  if (refusal) return std::unexpected(std::move(*refusal));
  return layout;
}

NamedRefusal named(const ServiceManagerApi& api, LocationRefusal refusal) {
  std::optional<std::string> name;
  if (!refusal.sid.empty()) name = account_name(api, refusal.sid);
  return {std::move(refusal), std::move(name)};
}

}  // namespace

std::expected<std::string, NamedRefusal> check_install_location(const ServiceManagerApi& api,
                                                                std::string_view executable_path) {
  auto exe = final_path(executable_path);
  if (!exe) return std::unexpected(named(api, std::move(exe.error())));
  std::string also_trusted;
  if (under_wine()) {
    auto installer = installer_sid(api);
    if (!installer) return std::unexpected(named(api, {RefusalReason::Unreadable, *exe, {}, installer.error()}));
    also_trusted = std::move(*installer);
  }
  const auto layout = read_layout(api, *exe);
  if (!layout) return std::unexpected(named(api, layout.error()));
  if (auto refusal = judge_install_layout(*layout, also_trusted))
    return std::unexpected(named(api, std::move(*refusal)));
  return std::move(*exe);
}

}  // namespace ostrane
