#include <gtest/gtest.h>

#include <functional>

#include "src/profiles/parse_profile.h"

namespace ostrane {
namespace {

Capability capability(std::string id) {
  return Capability{.id = std::move(id),
                    .label = "Rétroéclairage",
                    .access = access::PlatformProfile{},
                    .confidence = Confidence::Documented,
                    .sources = {"kernel documentation"}};
}

MachineProfile model_profile() {
  return MachineProfile{.schema_version = 1,
                        .id = "t14-gen2",
                        .display_name = "ThinkPad T14 Gen 2",
                        .scope = ProfileScope::Model,
                        .matches = {.mtm = {"20W0", "20xw"}},
                        .capabilities = {capability("fan"), capability("Fan")}};
}

// `count` capabilities: fan, Fan, cap-1, … , fan again, then cap-1 again.
void grow_with_repeats(MachineProfile& profile, std::size_t count) {
  for (std::size_t i = 1; profile.capabilities.size() < count - 2; ++i) {
    std::string id = "cap-";
    id += std::to_string(i);
    profile.capabilities.push_back(capability(std::move(id)));
  }
  profile.capabilities.push_back(capability("fan"));
  profile.capabilities.push_back(capability("cap-1"));
}

struct Case {
  std::string_view name;
  std::function<void(MachineProfile&)> change;
  std::optional<std::string> error;  // the displayed ProfileError, or valid
};

TEST(ValidateProfile, FirstBrokenRuleGivesTheError) {
  const Case cases[] = {
      {"valid model, lower-case mtm, fan and Fan", [](MachineProfile&) {}, std::nullopt},
      {"schema 2 before a blank id",
       [](MachineProfile& p) {
         p.schema_version = 2;
         p.id = " ";
       },
       "version de schéma 2 non supportée (attendu 1)"},
      {"schema 0", [](MachineProfile& p) { p.schema_version = 0; }, "version de schéma 0 non supportée (attendu 1)"},
      {"blank id keeps its spaces", [](MachineProfile& p) { p.id = "  \t"; }, "profil «   \t » : identifiant vide"},
      {"model without mtm", [](MachineProfile& p) { p.matches.mtm.clear(); },
       "profil « t14-gen2 » : profil de modèle sans MTM"},
      {"model needs no words", [](MachineProfile& p) { p.matches.version_contains.clear(); }, std::nullopt},
      {"family without words even with mtm",
       [](MachineProfile& p) { p.scope = ProfileScope::Family; },
       "profil « t14-gen2 » : profil de famille sans nom commercial"},
      {"family with an empty word and no mtm",
       [](MachineProfile& p) {
         p.scope = ProfileScope::Family;
         p.matches = {.version_contains = {""}};
       },
       std::nullopt},
      {"family with a malformed mtm",
       [](MachineProfile& p) {
         p.scope = ProfileScope::Family;
         p.matches.version_contains = {"ThinkPad T14"};
         p.matches.mtm = {"20W0", "20X"};
       },
       "profil « t14-gen2 » : MTM mal formé : « 20X »"},
      {"mtm with a dash", [](MachineProfile& p) { p.matches.mtm = {"20XW-"}; },
       "profil « t14-gen2 » : MTM mal formé : « 20XW- »"},
      {"mtm too long", [](MachineProfile& p) { p.matches.mtm = {"20XWCTO1WW"}; },
       "profil « t14-gen2 » : MTM mal formé : « 20XWCTO1WW »"},
      {"mtm with a space", [](MachineProfile& p) { p.matches.mtm = {"20 W"}; },
       "profil « t14-gen2 » : MTM mal formé : « 20 W »"},
      {"mtm with an accent", [](MachineProfile& p) { p.matches.mtm = {"20É"}; },
       "profil « t14-gen2 » : MTM mal formé : « 20É »"},
      {"duplicate capability, reported on the second",
       [](MachineProfile& p) {
         p.capabilities.push_back(capability("fan"));
         p.capabilities.back().sources.clear();
       },
       "profil « t14-gen2 » : capacité dupliquée : fan"},
      // Long lists are checked another way; the first repeat in order is
      // still the one named, though another id repeats earlier in the list.
      {"32 capabilities, the repeat of fan before that of cap-1",
       [](MachineProfile& p) { grow_with_repeats(p, 32); }, "profil « t14-gen2 » : capacité dupliquée : fan"},
      {"33 capabilities, the repeat of fan before that of cap-1",
       [](MachineProfile& p) { grow_with_repeats(p, 33); }, "profil « t14-gen2 » : capacité dupliquée : fan"},
      {"capability with only a blank source",
       [](MachineProfile& p) {
         p.capabilities[1].sources = {" \xC2\xA0"};
         p.capabilities[1].confidence = Confidence::Assumed;
       },
       "profil « t14-gen2 » : capacité Fan sans source"},
      {"capability with no sources", [](MachineProfile& p) { p.capabilities[0].sources.clear(); },
       "profil « t14-gen2 » : capacité fan sans source"},
      {"one good source is enough", [](MachineProfile& p) { p.capabilities[0].sources = {"", "manuel"}; },
       std::nullopt},
      {"validated without validated_on",
       [](MachineProfile& p) { p.capabilities[0].confidence = Confidence::Validated; },
       "profil « t14-gen2 » : capacité fan « validated » sans validated_on"},
      {"validated with a blank validated_on",
       [](MachineProfile& p) {
         p.capabilities[0].confidence = Confidence::Validated;
         p.capabilities[0].validated_on = "   ";
       },
       "profil « t14-gen2 » : capacité fan « validated » sans validated_on"},
      {"validated with any validated_on",
       [](MachineProfile& p) {
         p.capabilities[0].confidence = Confidence::Validated;
         p.capabilities[0].validated_on = "x";
       },
       std::nullopt},
      {"equal bounds", [](MachineProfile& p) { p.capabilities[0].bounds = Bounds{3, 3}; }, std::nullopt},
      {"inverted bounds", [](MachineProfile& p) { p.capabilities[1].bounds = Bounds{3, -1}; },
       "profil « t14-gen2 » : bornes inversées pour Fan"},
      {"blank capability id is allowed", [](MachineProfile& p) { p.capabilities[0].id = " "; }, std::nullopt},
  };
  for (const auto& c : cases) {
    MachineProfile profile = model_profile();
    c.change(profile);
    const auto result = validate_profile(profile);
    if (c.error) {
      ASSERT_FALSE(result.has_value()) << c.name;
      EXPECT_EQ(display(result.error()), *c.error) << c.name;
    } else {
      EXPECT_TRUE(result.has_value()) << c.name << ": " << display(result.error());
    }
  }
}

TEST(ProfileErrorDisplay, NamesEachKind) {
  EXPECT_EQ(display(ProfileError{profile_error::Toml{"TOML parse error at line 1, column 1"}}),
            "TOML invalide : TOML parse error at line 1, column 1");
  EXPECT_EQ(display(ProfileError{profile_error::UnsupportedSchema{4294967295u}}),
            "version de schéma 4294967295 non supportée (attendu 1)");
  EXPECT_EQ(display(ProfileError{profile_error::Invalid{"carbon", "identifiant vide"}}),
            "profil « carbon » : identifiant vide");
}

}  // namespace
}  // namespace ostrane
