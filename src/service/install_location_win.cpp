#include "src/service/install_location_win.h"

#include <array>
#include <expected>
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

AceType entry_type(BYTE type) {
  switch (type) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE: return AceType::Allow;
    case ACCESS_DENIED_ACE_TYPE:
    case ACCESS_DENIED_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE: return AceType::Deny;
    default: return AceType::Other;  // audit, alarm, label: they grant nothing
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
    AceEntry entry{entry_type(header->AceType), {}, 0, header->AceFlags};
    if (entry.type != AceType::Other) {
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

bool exists(const std::string& path) { return ::GetFileAttributesW(to_wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

std::optional<std::string> check_install_location(const ServiceManagerApi& api, std::string_view executable_path) {
  const std::string dir = parent_windows_path(executable_path);
  const std::string framework = join_windows_path(dir, FRAMEWORK_DIR_NAME);
  std::vector<std::string> paths = {std::string(executable_path), dir};
  if (const std::string beside = join_windows_path(dir, POWERSHELL_EXE); exists(beside)) paths.push_back(beside);
  if (exists(framework)) {
    paths.push_back(framework);
    for (const std::string_view tool : FRAMEWORK_TOOLS) {
      if (std::string path = join_windows_path(framework, tool); exists(path)) paths.push_back(std::move(path));
    }
  }

  const auto installer = installer_sid(api);
  if (!installer) return msg_location_unreadable(executable_path, installer.error());
  for (const std::string& path : paths) {
    const auto security = read_security(api, path);
    if (!security) return msg_location_unreadable(path, security.error());
    if (const auto writer = find_foreign_writer(*security, *installer)) {
      return msg_location_refused(*writer, account_name(api, writer->sid), path);
    }
  }
  return std::nullopt;
}

}  // namespace ostrane
