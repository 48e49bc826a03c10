#include "src/profiles/resolve_profile.h"

#include <gtest/gtest.h>

namespace ostrane {
namespace {

MachineProfile model(std::string id, std::vector<std::string> mtm, std::vector<std::string> words = {}) {
  return MachineProfile{.schema_version = 1,
                        .id = std::move(id),
                        .scope = ProfileScope::Model,
                        .matches = {.mtm = std::move(mtm), .version_contains = std::move(words)}};
}

MachineProfile family(std::string id, std::vector<std::string> words, std::vector<std::string> mtm = {}) {
  return MachineProfile{.schema_version = 1,
                        .id = std::move(id),
                        .scope = ProfileScope::Family,
                        .matches = {.mtm = std::move(mtm), .version_contains = std::move(words)}};
}

MachineIdentity identity(std::optional<std::string> manufacturer, std::optional<std::string> mtm,
                         std::optional<std::string> display_name) {
  MachineIdentity id;
  id.manufacturer = std::move(manufacturer);
  id.mtm = std::move(mtm);
  id.display_name = std::move(display_name);
  return id;
}

struct Case {
  std::string_view name;
  std::vector<MachineProfile> profiles;  // in file order
  MachineIdentity identity;
  ResolutionKind kind;
  std::optional<std::size_t> profile;  // index into profiles
};

TEST(ResolveProfile, ExactThenFamilyThenVendorTests) {
  const Case cases[] = {
      {"model lists the type in lower case", {model("x1", {"20xw"})}, identity("LENOVO", "20XW", std::nullopt),
       ResolutionKind::Exact, 0},
      {"exact beats an earlier family",
       {family("famille", {"ThinkPad"}), model("x1", {"20XW"})},
       identity("LENOVO", "20XW", "ThinkPad X1 Carbon Gen 9"), ResolutionKind::Exact, 1},
      {"first file wins among models (Z.toml before a.toml)",
       {model("Z", {"20XW"}), model("a", {"20XW"})}, identity("LENOVO", "20XW", std::nullopt), ResolutionKind::Exact,
       0},
      {"a family's mtm list is not used for the exact pass",
       {family("f", {"Yoga"}, {"20XW"})}, identity("LENOVO", "20XW", "ThinkPad X1 Carbon Gen 9"),
       ResolutionKind::DynamicProbe, std::nullopt},
      {"a model's words are not used for the family pass",
       {model("m", {"21AA"}, {"ThinkPad"})}, identity("LENOVO", "20XW", "ThinkPad X1"), ResolutionKind::DynamicProbe,
       std::nullopt},
      {"family word found in any case", {family("t14", {"t14"})}, identity("LENOVO", std::nullopt, "ThinkPad T14 Gen 2"),
       ResolutionKind::Family, 0},
      {"T14s is not in T14 Gen 2", {family("t14s", {"T14s"})}, identity("Acme", std::nullopt, "ThinkPad T14 Gen 2"),
       ResolutionKind::Unsupported, std::nullopt},
      {"empty word matches every display name",
       {family("all", {""}), family("later", {"ThinkPad"})}, identity("Acme", std::nullopt, "Anything"),
       ResolutionKind::Family, 0},
      {"earlier family wins over a longer word",
       {family("short", {"X1"}), family("long", {"X1 Yoga"})}, identity(std::nullopt, std::nullopt, "ThinkPad X1 Yoga"),
       ResolutionKind::Family, 0},
      {"x1 yoga matches", {family("y", {"x1 yoga"})}, identity(std::nullopt, std::nullopt, "ThinkPad X1 Yoga"),
       ResolutionKind::Family, 0},
      {"two spaces do not match one", {family("y", {"X1  Yoga"})},
       identity(std::nullopt, std::nullopt, "ThinkPad X1 Yoga"), ResolutionKind::Unsupported, std::nullopt},
      {"Thinkpad matches THINKPAD", {family("t", {"Thinkpad"})}, identity(std::nullopt, std::nullopt, "THINKPAD E14"),
       ResolutionKind::Family, 0},
      {"non-ASCII letters compare as they are", {family("e", {"É"})}, identity(std::nullopt, std::nullopt, "é"),
       ResolutionKind::Unsupported, std::nullopt},
      {"no display name skips the family pass", {family("all", {""})}, identity("LENOVO", std::nullopt, std::nullopt),
       ResolutionKind::Unsupported, std::nullopt},
      {"no type skips the exact pass", {model("x1", {"20XW"})}, identity("LENOVO", std::nullopt, "ThinkPad E14"),
       ResolutionKind::DynamicProbe, std::nullopt},
      {"ThinkPad without a profile", {}, identity("LENOVO", "20XW", "ThinkPad E14"), ResolutionKind::DynamicProbe,
       std::nullopt},
      {"Lenovo IdeaPad", {}, identity("LENOVO", "81J7", "IdeaPad 5"), ResolutionKind::Unsupported, std::nullopt},
      {"Dell", {model("x1", {"20XW"})}, identity("Dell Inc.", std::nullopt, "Latitude"), ResolutionKind::DynamicProbe,
       std::nullopt},
      {"absent manufacturer", {}, identity(std::nullopt, std::nullopt, "Latitude"), ResolutionKind::Unsupported,
       std::nullopt},
  };
  for (const auto& c : cases) {
    const Resolution r = resolve_profile(c.profiles, c.identity);
    EXPECT_EQ(r.kind, c.kind) << c.name;
    if (c.profile) {
      EXPECT_EQ(r.profile, &c.profiles[*c.profile]) << c.name;
    } else {
      EXPECT_EQ(r.profile, nullptr) << c.name;
    }
  }
}

TEST(ResolutionKind, WireNames) {
  EXPECT_EQ(to_wire(ResolutionKind::Exact), "exact");
  EXPECT_EQ(to_wire(ResolutionKind::Family), "family");
  EXPECT_EQ(to_wire(ResolutionKind::DynamicProbe), "dynamic_probe");
  EXPECT_EQ(to_wire(ResolutionKind::Unsupported), "unsupported");
}

}  // namespace
}  // namespace ostrane
