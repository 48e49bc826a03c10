// Loading a large profile directory, and resolving one machine against it.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

#include "src/profiles/load_profiles.h"
#include "src/profiles/profile_toml.h"
#include "src/profiles/resolve_profile.h"

namespace ostrane {
namespace {

namespace fs = std::filesystem;

constexpr int PROFILE_COUNT = 10000;

std::string mtm_of(int i) {
  static constexpr char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::string mtm = "2";
  for (int k = 0, v = i; k < 3; ++k, v /= 36) mtm += digits[v % 36];
  return mtm;
}

// A realistic profile: a few machine types and three capabilities.
std::string profile_text(int i) {
  const bool family = i % 10 == 9;
  std::string t = "schema_version = 1\nid = \"profil-" + std::to_string(i) + "\"\n";
  t += "display_name = \"ThinkPad Test " + std::to_string(i) + "\"\n";
  t += family ? "scope = \"family\"\n" : "scope = \"model\"\n";
  t += "\n[matches]\nmtm = [\"" + mtm_of(i) + "\", \"" + mtm_of(i + PROFILE_COUNT) + "\"]\n";
  if (family) t += "version_contains = [\"Famille " + std::to_string(i) + " \"]\n";
  t += R"(
[[capabilities]]
id = "keyboard_backlight"
label = "Retroeclairage du clavier"
access = { method = "wmi", class = "LENOVO_LIGHTING_METHOD", property = "Current_Brightness_Level" }
confidence = "documented"
sources = ["documentation WMI du constructeur"]
bounds = { min = 0, max = 2 }

[[capabilities]]
id = "platform_profile"
label = "Profil de plateforme"
access = { method = "platform_profile" }
confidence = "assumed"
sources = ["Documentation/userspace-api/sysfs-platform_profile.rst"]

[[capabilities]]
id = "fan_level"
label = "Ventilateur"
access = { method = "ec", offset = 0x2F }
confidence = "assumed"
sources = ["thinkpad-acpi"]
notes = "lecture seule"
)";
  return t;
}

class ProfileDirectory {
 public:
  ProfileDirectory() {
    dir_ = fs::temp_directory_path() / "ostrane-bench-profiles";
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    for (int i = 0; i < PROFILE_COUNT; ++i) {
      std::ofstream(dir_ / ("p" + std::to_string(i) + ".toml"), std::ios::binary) << profile_text(i);
    }
  }
  ~ProfileDirectory() { fs::remove_all(dir_); }
  std::string path() const { return dir_.string() + "/"; }

 private:
  fs::path dir_;
};

const ProfileDirectory& directory() {
  static const ProfileDirectory dir;
  return dir;
}

void BM_LoadProfiles10k(benchmark::State& state) {
  const SystemFileReader files;
  for (auto _ : state) {
    auto loaded = load_profiles(directory().path(), files);
    if (!loaded || loaded->size() != PROFILE_COUNT) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(loaded);
  }
  state.SetItemsProcessed(state.iterations() * PROFILE_COUNT);
  state.counters["profiles_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations() * PROFILE_COUNT), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LoadProfiles10k)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_ResolveAgainst10k(benchmark::State& state) {
  const auto loaded = load_profiles(directory().path(), SystemFileReader{});
  if (!loaded) {
    state.SkipWithError("load failed");
    return;
  }
  // The worst case: no model matches, every family word is tried, then the
  // vendor tests run.
  MachineIdentity identity;
  identity.manufacturer = "LENOVO";
  identity.mtm = "1ZZZ";
  identity.display_name = "ThinkPad Inconnu Gen 1";
  for (auto _ : state) {
    const Resolution r = resolve_profile(*loaded, identity);
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(BM_ResolveAgainst10k)->Unit(benchmark::kMicrosecond);

// 1.6 MB of values on one line, or one per line: reading a document must
// not depend on how its lines are cut (argument 1: one line).
void BM_RefuseLargeDocument(benchmark::State& state) {
  const bool one_line = state.range(0) == 1;
  std::string text = "x = [";
  for (int i = 0; i < 400000; ++i) text += i ? (one_line ? ",1.5" : ",\n1.5") : "1.5";
  text += "]\n";
  for (auto _ : state) {
    auto mapped = map_profile_toml(text);
    if (mapped) state.SkipWithError("an unknown key was accepted");
    benchmark::DoNotOptimize(mapped);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_RefuseLargeDocument)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ostrane

BENCHMARK_MAIN();
