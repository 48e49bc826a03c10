#include "src/profiles/load_profiles.h"

#include <algorithm>

#include "src/common/utf8.h"
#include "src/platform/deep_stack.h"
#include "src/profiles/parse_profile.h"

namespace ostrane {

std::string join_profile_path(std::string_view dir, std::string_view name) {
  std::string path(dir);
  if (path.empty() || (path.back() != '\\' && path.back() != '/')) path += '\\';
  path += name;
  return path;
}

bool has_toml_extension(std::string_view file_name) {
  const std::size_t dot = file_name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return false;
  return file_name.substr(dot + 1) == "toml";
}

std::string msg_profile_unread(std::string_view path, const ReadFailure& failure) {
  switch (failure.kind) {
    case ReadFailure::Kind::System: return failure.system_text;
    case ReadFailure::Kind::NotADiskFile:
      return std::string(path) + " : n'est pas un fichier sur disque (périphérique, tube ou autre)";
    case ReadFailure::Kind::Link:
      return std::string(path) + " : est un lien symbolique, une jonction ou un autre renvoi, qui n'est pas suivi";
    case ReadFailure::Kind::TooLarge:
      return std::string(path) + " : fichier de plus de " + std::to_string(MAX_PROFILE_BYTES) +
             " octets, trop grand pour un profil";
  }
  return failure.system_text;
}

std::string msg_profile_folder_too_large(std::string_view path) {
  return std::string(path) + " : avec ce fichier, les profils du dossier dépassent ensemble " +
         std::to_string(MAX_PROFILE_FOLDER_BYTES) + " octets, trop pour un dossier de profils";
}

namespace {

// The nesting guard bounds how deep the TOML library and the walks over its
// tree recurse. The deepest document it lets through, 255 arrays inside
// each other, takes about 320 KiB of stack in the release build and under
// 512 KiB with the sanitizers; this holds it many times over, should a
// library update make its frames larger.
constexpr std::size_t PROFILE_STACK_BYTES = std::size_t{16} << 20;

std::expected<std::vector<MachineProfile>, std::string> load_profiles_here(const std::string& dir,
                                                                           const FileReader& files) {
  std::expected<std::vector<std::string>, std::string> names = files.list_directory(dir);
  if (!names) return std::unexpected(std::move(names.error()));

  std::vector<std::string> paths;
  for (const std::string& name : *names) {
    if (has_toml_extension(name)) paths.push_back(join_profile_path(dir, name));
  }
  // Every path shares the directory part, so this is the byte order of the
  // file names: "Z.toml" before "a.toml".
  std::stable_sort(paths.begin(), paths.end());

  std::vector<MachineProfile> profiles;
  profiles.reserve(paths.size());
  std::size_t folder_bytes = 0;
  for (const std::string& path : paths) {
    std::expected<std::string, ReadFailure> text = files.read_file(path, MAX_PROFILE_BYTES);
    if (!text) return std::unexpected(msg_profile_unread(path, text.error()));
    folder_bytes += text->size();
    if (folder_bytes > MAX_PROFILE_FOLDER_BYTES) return std::unexpected(msg_profile_folder_too_large(path));
    if (!is_valid_utf8(*text)) return std::unexpected(std::string("stream did not contain valid UTF-8"));
    std::expected<MachineProfile, ProfileError> profile = parse_profile(*text);
    if (!profile) return std::unexpected(path + " : " + display(profile.error()));
    profiles.push_back(std::move(*profile));
  }
  return profiles;
}

}  // namespace

std::expected<std::vector<MachineProfile>, std::string> load_profiles(const std::string& dir, const FileReader& files) {
  std::expected<std::vector<MachineProfile>, std::string> loaded;
  run_with_stack(PROFILE_STACK_BYTES, [&] { loaded = load_profiles_here(dir, files); });
  return loaded;
}

}  // namespace ostrane
