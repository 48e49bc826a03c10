// How long one profile of 1 MiB takes to read, for each shape a folder
// handed to a user might hold to stall the loader, beside the load of a
// whole collection: the read as the load makes it, and each of its two ways
// alone. Every shape should cost about what its bytes cost.
// Built natively (make bench's bench preset) and for Windows, run under
// Wine.
//   hostile_profiles [DIR [ROUNDS]]   DIR defaults to "profiles", ROUNDS to 5
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "bench/median.h"
#include "src/platform/file_reader.h"
#include "src/profiles/load_profiles.h"
#include "src/profiles/parse_profile.h"
#include "src/profiles/plain_profile.h"
#include "src/profiles/profile_toml.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t SIZE = std::size_t{1} << 20;

const std::string HEAD =
    "schema_version = 1\nid = \"h\"\ndisplay_name = \"H\"\nscope = \"model\"\n[matches]\nmtm = [\"20XW\"]\n"
    "[[capabilities]]\nid = \"c\"\nlabel = \"c\"\nconfidence = \"assumed\"\n";

// `head`, then `part(i)` for i = 0, 1, … while the text stays within SIZE
// with `tail` after it.
std::string grown(const std::string& head, const std::function<std::string(std::size_t)>& part,
                  const std::string& tail) {
  std::string text = head;
  for (std::size_t i = 0;; ++i) {
    const std::string next = part(i);
    if (text.size() + next.size() + tail.size() > SIZE) break;
    text += next;
  }
  return text + tail;
}

std::string key(std::size_t i) { return ", k" + std::to_string(i) + " = 1"; }

struct Shape {
  const char* name;
  std::string text;
};

std::vector<Shape> shapes() {
  return {
      {"one inline table of many keys (platform_profile)",
       grown(HEAD + "sources = [\"s\"]\naccess = { method = \"platform_profile\"", key, " }\n")},
      {"one inline table of many keys (ec)",
       grown(HEAD + "sources = [\"s\"]\naccess = { method = \"ec\"", key, " }\n")},
      {"one long array", grown(
                             HEAD + "access = { method = \"platform_profile\" }\nsources = [\"s\"",
                             [](std::size_t) { return std::string(", \"s\""); }, "]\n")},
      {"one long line", HEAD + "sources = [\"s\"]\naccess = { method = \"platform_profile\" }\nnotes = \"" +
                            std::string(SIZE - HEAD.size() - 80, 'x') + "\"\n"},
      {"many capabilities", grown(
                                HEAD + "sources = [\"s\"]\naccess = { method = \"platform_profile\" }\n",
                                [](std::size_t i) {
                                  return "[[capabilities]]\nid = \"c" + std::to_string(i) +
                                         "\"\nlabel = \"c\"\nconfidence = \"assumed\"\nsources = [\"s\"]\n"
                                         "access = { method = \"ec\", offset = 0x2F }\n";
                                },
                                "")},
  };
}

template <class Run>
double median_ms(int rounds, Run run) {
  std::vector<double> times;
  for (int i = 0; i < rounds; ++i) {
    const Clock::time_point start = Clock::now();
    run();
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  return ostrane::bench::median(std::move(times));
}

}  // namespace

int main(int argc, char** argv) {
  using namespace ostrane;
  const std::string dir = argc > 1 ? argv[1] : "profiles";
  const int rounds = argc > 2 ? std::stoi(argv[2]) : 5;
  const SystemFileReader files;

  std::size_t count = 0;
  const double collection = median_ms(rounds, [&] {
    const auto loaded = load_profiles(dir, files);
    count = loaded ? loaded->size() : 0;
  });
  std::printf("one profile of each hostile shape, median of %d rounds, beside the load of %s\n", rounds, dir.c_str());
  std::printf("  %-50s %10s %10s %10s  %s\n", "", "read", "direct", "library", "outcome");
  std::printf("  %-50s %7.1f ms %10s %10s  %zu profiles\n", "the collection, listed, read and parsed", collection, "",
              "", count);
  for (const Shape& shape : shapes()) {
    bool accepted = false, direct = false;
    const double whole = median_ms(rounds, [&] { accepted = parse_profile(shape.text).has_value(); });
    const double plain = median_ms(rounds, [&] { direct = read_plain_profile(shape.text).has_value(); });
    const double library = median_ms(rounds, [&] { (void)map_profile_toml_with_library(shape.text); });
    std::printf("  %-50s %7.1f ms %7.1f ms %7.1f ms  %s, %zu bytes%s\n", shape.name, whole, plain, library,
                accepted ? "accepted" : "refused", shape.text.size(), direct ? ", read directly" : "");
  }
  return 0;
}
