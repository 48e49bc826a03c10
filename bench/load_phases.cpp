// Where a load of a profile directory spends its time, phase by phase, in
// one process: listing, reading, the parse as the load makes it (direct
// reading of the plain files, the TOML library's way for the others, and
// the validation), freeing the list; and, beside it, what the library's way
// alone costs for the same files: the nesting guard, the library's parse
// and the mapping of its tree.
// Built natively (make bench's bench preset) and for Windows, run under
// Wine; each phase runs over every file before the next begins.
//   load_phases [DIR [ROUNDS]]   DIR defaults to "profiles", ROUNDS to 15
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/median.h"
#include "src/profiles/load_profiles.h"
#include "src/profiles/nesting_depth.h"
#include "src/profiles/parse_profile.h"
#include "src/profiles/plain_profile.h"
#include "src/profiles/profile_toml.h"

namespace {

using Clock = std::chrono::steady_clock;
using ostrane::bench::median;

double ms_since(Clock::time_point& at) {
  const Clock::time_point now = Clock::now();
  const double ms = std::chrono::duration<double, std::milli>(now - at).count();
  at = now;
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace ostrane;
  const std::string dir = argc > 1 ? argv[1] : "profiles";
  const int rounds = argc > 2 ? std::stoi(argv[2]) : 15;
  const SystemFileReader files;
  enum { LIST, READ, WHOLE, FREE, GUARD, LIBRARY, LIBRARY_WAY, PHASES };
  std::vector<double> times[PHASES];
  std::size_t count = 0, bytes = 0, capabilities = 0, plain = 0;
  for (int round = 0; round < rounds; ++round) {
    Clock::time_point at = Clock::now();
    const auto names = files.list_directory(dir);
    if (!names) {
      std::fprintf(stderr, "load_phases: %s: %s\n", dir.c_str(), names.error().c_str());
      return 1;
    }
    std::vector<std::string> paths;
    for (const std::string& name : *names) {
      if (has_toml_extension(name)) paths.push_back(join_profile_path(dir, name));
    }
    std::ranges::sort(paths);
    times[LIST].push_back(ms_since(at));

    std::vector<std::string> texts;
    texts.reserve(paths.size());
    for (const std::string& path : paths) {
      auto text = files.read_file(path, MAX_PROFILE_BYTES);
      if (!text) {
        std::fprintf(stderr, "load_phases: %s\n", msg_profile_unread(path, text.error()).c_str());
        return 1;
      }
      texts.push_back(std::move(*text));
    }
    times[READ].push_back(ms_since(at));

    std::vector<MachineProfile> profiles;
    profiles.reserve(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
      auto profile = parse_profile(texts[i]);
      if (!profile) {
        std::fprintf(stderr, "load_phases: %s : %s\n", paths[i].c_str(), display(profile.error()).c_str());
        return 1;
      }
      profiles.push_back(std::move(*profile));
    }
    times[WHOLE].push_back(ms_since(at));

    bool deep = false;
    for (const std::string& text : texts) deep = find_too_deep_nesting(text).has_value() || deep;
    times[GUARD].push_back(ms_since(at));
    bool read = true;
    for (const std::string& text : texts) read = toml_library_reads(text) && read;
    times[LIBRARY].push_back(ms_since(at));
    for (const std::string& text : texts) read = map_profile_toml_with_library(text).has_value() && read;
    times[LIBRARY_WAY].push_back(ms_since(at));
    if (deep || !read) return 1;

    plain = 0;
    for (const std::string& text : texts) plain += read_plain_profile(text).has_value() ? 1 : 0;
    count = profiles.size();
    bytes = 0;
    capabilities = 0;
    for (const std::string& text : texts) bytes += text.size();
    for (const MachineProfile& p : profiles) capabilities += p.capabilities.size();
    at = Clock::now();
    profiles = {};
    times[FREE].push_back(ms_since(at));
  }
  const double whole = median(times[WHOLE]), guard = median(times[GUARD]), library = median(times[LIBRARY]);
  // A command makes one load in a new process: the first round is that one,
  // with a heap that grows and pages touched the first time.
  const auto line = [&](const char* what, int phase, double ms) {
    std::printf("  %-52s %8.2f ms %8.2f ms\n", what, ms, times[phase].front());
  };
  std::printf("load phases, median of %d rounds: %zu files (%zu read directly), %zu bytes, %zu capabilities\n", rounds,
              count, plain, bytes, capabilities);
  std::printf("  %-52s %11s %11s\n", "", "median", "first");
  line("listing", LIST, median(times[LIST]));
  line("reading", READ, median(times[READ]));
  line("parse and validation, as the load makes them", WHOLE, whole);
  line("freeing the list", FREE, median(times[FREE]));
  std::printf("  %-52s %8.2f us\n", "  per capability (median)", whole * 1000 / static_cast<double>(capabilities));
  std::printf("  the TOML library's way alone, for the same files:\n");
  line("  nesting guard", GUARD, guard);
  line("  the library's parse", LIBRARY, library);
  std::printf("  %-52s %8.2f ms\n", "  mapping its tree (its whole way, less the two above)",
              median(times[LIBRARY_WAY]) - guard - library);
  return 0;
}
