#include "src/profiles/parse_profile.h"

#include <algorithm>
#include <set>
#include <span>

#include "src/common/text.h"
#include "src/profiles/profile_toml.h"

namespace ostrane {
namespace {

std::string msg_malformed_mtm(std::string_view entry) { return "MTM mal formé : « " + std::string(entry) + " »"; }
std::string msg_duplicate_capability(std::string_view id) { return "capacité dupliquée : " + std::string(id); }
std::string msg_capability_without_source(std::string_view id) {
  return "capacité " + std::string(id) + " sans source";
}
std::string msg_validated_without_date(std::string_view id) {
  return "capacité " + std::string(id) + " « validated » sans validated_on";
}
std::string msg_inverted_bounds(std::string_view id) { return "bornes inversées pour " + std::string(id); }

// The first broken rule's message, or nothing.
std::optional<std::string> first_broken_rule(const MachineProfile& profile) {
  if (is_blank(profile.id)) return "identifiant vide";
  if (profile.scope == ProfileScope::Family && profile.matches.version_contains.empty()) {
    return "profil de famille sans nom commercial";
  }
  if (profile.scope == ProfileScope::Model && profile.matches.mtm.empty()) return "profil de modèle sans MTM";
  for (const std::string& entry : profile.matches.mtm) {
    if (!is_valid_mtm(entry)) return msg_malformed_mtm(entry);
  }
  // A profile holds a few capabilities, which a scan of the earlier ones
  // checks without the set's allocation for each (they cost under Wine);
  // a long list, whose scans would grow as its square, takes the set.
  constexpr std::size_t SCANNED_CAPABILITIES = 32;
  const std::span<const Capability> capabilities = profile.capabilities;
  std::set<std::string_view> seen;
  for (std::size_t i = 0; i < capabilities.size(); ++i) {
    const Capability& capability = capabilities[i];
    const bool repeated =
        capabilities.size() <= SCANNED_CAPABILITIES
            ? std::ranges::any_of(capabilities.first(i),
                                  [&](const Capability& earlier) { return earlier.id == capability.id; })
            : !seen.insert(capability.id).second;
    if (repeated) return msg_duplicate_capability(capability.id);
    bool has_source = false;
    for (const std::string& source : capability.sources) has_source = has_source || !is_blank(source);
    if (!has_source) return msg_capability_without_source(capability.id);
    if (capability.confidence == Confidence::Validated &&
        (!capability.validated_on || is_blank(*capability.validated_on))) {
      return msg_validated_without_date(capability.id);
    }
    if (capability.bounds && capability.bounds->min > capability.bounds->max) {
      return msg_inverted_bounds(capability.id);
    }
  }
  return std::nullopt;
}

}  // namespace

bool is_valid_mtm(std::string_view entry) { return entry.size() == 4 && std::ranges::all_of(entry, is_ascii_alnum); }

std::expected<void, ProfileError> validate_profile(const MachineProfile& profile) {
  if (profile.schema_version != SUPPORTED_SCHEMA_VERSION) {
    return std::unexpected(profile_error::UnsupportedSchema{profile.schema_version});
  }
  if (std::optional<std::string> message = first_broken_rule(profile)) {
    return std::unexpected(profile_error::Invalid{profile.id, std::move(*message)});
  }
  return {};
}

std::expected<MachineProfile, ProfileError> parse_profile(std::string_view text) {
  std::expected<MachineProfile, std::string> mapped = map_profile_toml(text);
  if (!mapped) return std::unexpected(profile_error::Toml{std::move(mapped.error())});
  if (auto valid = validate_profile(*mapped); !valid) return std::unexpected(std::move(valid.error()));
  return std::move(*mapped);
}

}  // namespace ostrane
