// parse_smbios against dmidecode, the reference decoder of the Linux world,
// on dump files built from the identities of real laptops.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "hal/smbios/parse_smbios.h"
#include "testing/smbios_table_builder.h"

extern char** environ;

namespace ostrane {
namespace {

namespace fs = std::filesystem;
using testing::SmbiosTableBuilder;
using Field = std::optional<std::string> SmbiosRecord::*;

// The texts of one row of the identities file; dmidecode printed string
// number 0 as "Not Specified" there, so that text stands for number 0.
struct Identity {
  std::optional<int> len0, len1, len2;
  std::string bios_vendor, bios_version, bios_release_date, system_manufacturer, system_product_name, system_version,
      system_family, baseboard_product;
};

std::vector<Identity> read_identities(const fs::path& path) {
  std::ifstream in(path);
  std::vector<Identity> rows;
  std::string line;
  std::getline(in, line);  // column names
  while (std::getline(in, line)) {
    std::vector<std::string> cols;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
      cols.push_back(line.substr(start, tab - start));
    }
    cols.push_back(line.substr(start));
    if (cols.size() != 11) continue;
    const auto length = [](const std::string& s) {
      return s.empty() ? std::nullopt : std::optional<int>(std::stoi(s));
    };
    rows.push_back({length(cols[0]), length(cols[1]), length(cols[2]), cols[3], cols[4], cols[5], cols[6], cols[7],
                    cols[8], cols[9], cols[10]});
  }
  return rows;
}

// The string set of one structure under construction, with the string
// numbers handed out as texts are added.
class Strings {
 public:
  std::uint8_t add(const std::string& text) {
    if (text.empty() || text == "Not Specified") return 0;
    for (std::size_t i = 0; i < list_.size(); ++i) {
      if (list_[i] == text) return static_cast<std::uint8_t>(i + 1);
    }
    list_.push_back(text);
    return static_cast<std::uint8_t>(list_.size());
  }
  std::uint8_t count() const { return static_cast<std::uint8_t>(list_.size()); }
  const std::vector<std::string>& list() const { return list_; }

 private:
  std::vector<std::string> list_;
};

class DumpMaker {
 public:
  explicit DumpMaker(std::uint32_t seed) : rng_(seed) {}

  bool chance(unsigned one_in) { return rng_() % one_in == 0; }
  std::uint32_t below(std::uint32_t n) { return static_cast<std::uint32_t>(rng_() % n); }

  // A firmware text with the variations that real tables show: padding,
  // letters outside ASCII.
  std::string vary(std::string text) {
    if (text == "Not Specified") return text;
    if (chance(10)) text = "  " + text + "  ";
    if (chance(12)) {
      for (auto [from, to] : {std::pair{'e', "\xC3\xA9"}, {'o', "\xC3\xB6"}, {'a', "\xC3\xA0"}}) {
        if (const auto at = text.find(from); at != std::string::npos) {
          text.replace(at, 1, to);
          break;
        }
      }
    }
    return text;
  }

  // One structure with `fields` (where each string number goes, and its
  // text): the texts enter the string set in a random order, and the other
  // bytes of the formatted area are random.
  void structure(std::uint8_t type, int length, const std::vector<std::pair<std::uint8_t, std::string>>& fields) {
    std::vector<std::uint8_t> area(static_cast<std::size_t>(length - 4));
    for (auto& b : area) b = static_cast<std::uint8_t>(rng_());
    Strings strings;
    std::vector<std::pair<std::uint8_t, std::string>> order = fields;
    std::shuffle(order.begin(), order.end(), rng_);
    for (const auto& [offset, text] : order) {
      const std::uint8_t number = strings.add(text);
      if (offset < length) area[offset - 4u] = number;
    }
    // Now and then a number past the string count, which dmidecode shows as
    // "<BAD INDEX>".
    if (chance(12) && !fields.empty()) {
      const std::uint8_t offset = fields[below(static_cast<std::uint32_t>(fields.size()))].first;
      if (offset < length) area[offset - 4u] = static_cast<std::uint8_t>(strings.count() + 1 + below(3));
    }
    if (type <= 2 && !ended_ && !first_length_[type]) first_length_[type] = length;
    const std::size_t before = builder_.size();
    builder_.structure_with_area(type, area, strings.list());
    max_structure_ = std::max(max_structure_, builder_.size() - before);
    ++structures_;
  }

  void noise() {
    switch (below(6)) {
      case 0:
        structure(3, 22, {{0x04, "Chassis Manufacturer"}, {0x06, "Chassis Version"}, {0x07, "Chassis Serial"}});
        break;
      case 1:
        structure(4, 48, {{0x04, "U3E1"}, {0x07, "GenuineIntel"}, {0x10, "Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz"}});
        break;
      case 2: structure(7, 27, {{0x04, "L2 Cache"}}); break;
      case 3: structure(8, 9, {{0x04, "J3A1"}, {0x06, "USB 3.0"}}); break;
      case 4:
        structure(
            17, 40,
            {{0x10, "DIMM 0"}, {0x11, "BANK 0"}, {0x17, "Samsung"}, {0x18, "12345678"}, {0x1A, "M471A1K43CB1-CTD"}});
        break;
      default: structure(11, 5, {{0x04, "OEM string"}}); break;
    }
  }

  ByteBuffer table_for(const Identity& id, std::size_t row) {
    const auto length = [&](std::optional<int> from_file, std::initializer_list<int> others) {
      if (!chance(8)) return from_file;
      const auto pick = others.begin()[below(static_cast<std::uint32_t>(others.size()))];
      return std::optional<int>(pick);
    };
    const std::string serials[] = {"PF" + std::to_string(100000 + row), "Not Specified", "   ",
                                   "To be filled by O.E.M.", " SN " + std::to_string(row) + " "};
    const std::string serial = serials[below(5)];

    std::vector<std::function<void()>> parts;
    if (const auto len = length(id.len0, {4, 5, 6, 8, 9, 18, 20})) {
      parts.push_back([&, len] {
        structure(0, *len,
                  {{0x04, vary(id.bios_vendor)}, {0x05, vary(id.bios_version)}, {0x08, vary(id.bios_release_date)}});
      });
    }
    if (const auto len = length(id.len1, {4, 7, 8, 25, 26})) {
      parts.push_back([&, len] {
        structure(1, *len,
                  {{0x04, vary(id.system_manufacturer)},
                   {0x05, vary(id.system_product_name)},
                   {0x06, vary(id.system_version)},
                   {0x07, serial},
                   {0x19, "SKU"},
                   {0x1A, vary(id.system_family)}});
      });
    }
    if (const auto len = length(id.len2, {4, 5, 6, 8})) {
      parts.push_back([&, len] {
        structure(2, *len,
                  {{0x04, vary(id.system_manufacturer)},
                   {0x05, vary(id.baseboard_product)},
                   {0x06, "Not Defined"},
                   {0x07, serial},
                   {0x08, "Base Board Asset Tag"},
                   {0x0A, "Base Board"}});
      });
    }
    // Real firmware puts types 0, 1 and 2 first; some tables here do not.
    if (chance(5)) std::shuffle(parts.begin(), parts.end(), rng_);
    if (chance(3)) noise();
    for (auto& part : parts) {
      part();
      if (chance(4)) noise();
    }
    // Second structures of the same types, which must change nothing.
    if (chance(5)) structure(0, 24, {{0x04, "Second Vendor"}, {0x05, "Second Version"}, {0x08, "01/01/2000"}});
    if (chance(5)) structure(1, 27, {{0x04, "Second Maker"}, {0x05, "Second Product"}, {0x1A, "Second Family"}});
    if (chance(5)) structure(2, 15, {{0x05, "Second Board"}});
    for (unsigned i = below(4); i > 0; --i) noise();
    if (!chance(6)) {
      builder_.end_of_table();
      ++structures_;
      ended_ = true;
      // Beyond the end of table, both decoders must stop.
      if (chance(4)) {
        structure(1, 27, {{0x04, "After End"}, {0x05, "After End"}, {0x1A, "After End"}});
      } else if (chance(3)) {
        builder_.raw(std::string_view("\x02\x02\x00\x00\x00", 5));
      }
    }
    return builder_.bytes();
  }

  // The formatted length of the first structure of type 0, 1 or 2 before the
  // end of table, if there is one.
  std::optional<int> first_length(std::uint8_t type) const { return first_length_[type]; }
  std::size_t structures() const { return structures_; }
  std::size_t max_structure() const { return max_structure_; }

 private:
  std::mt19937 rng_;
  SmbiosTableBuilder builder_;
  std::size_t structures_ = 0;
  std::size_t max_structure_ = 0;
  std::array<std::optional<int>, 3> first_length_;
  bool ended_ = false;
};

void put16(ByteBuffer& b, std::size_t at, std::uint64_t v) {
  for (int i = 0; i < 2; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void put32(ByteBuffer& b, std::size_t at, std::uint64_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void put64(ByteBuffer& b, std::size_t at, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint8_t checksum(const ByteBuffer& b, std::size_t from, std::size_t count) {
  unsigned sum = 0;
  for (std::size_t i = from; i < from + count; ++i) sum += b[i];
  return static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
}

// The layout of `dmidecode --dump-bin`: the entry point at offset 0, saying
// that the table is at address 20h, and the table there.
constexpr std::size_t TABLE_ADDRESS = 0x20;

ByteBuffer dump_file(const ByteBuffer& table, bool smbios3, std::uint8_t minor, std::size_t structures,
                     std::size_t max_structure) {
  ByteBuffer out(TABLE_ADDRESS, 0);
  if (smbios3) {
    // 64-bit entry point: "_SM3_", checksum, length 18h, version, docrev,
    // entry point revision 1, reserved, table maximum size, table address.
    std::copy_n("_SM3_", 5, out.begin());
    out[0x06] = 0x18;
    out[0x07] = 3;
    out[0x08] = minor;
    out[0x0A] = 1;
    put32(out, 0x0C, table.size());
    put64(out, 0x10, TABLE_ADDRESS);
    out[0x05] = checksum(out, 0, 0x18);
  } else {
    // 32-bit entry point: "_SM_", checksum, length 1Fh, version, maximum
    // structure size, then the intermediate "_DMI_" part with its own
    // checksum, the table length, address, structure count and BCD revision.
    std::copy_n("_SM_", 4, out.begin());
    out[0x05] = 0x1F;
    out[0x06] = 2;
    out[0x07] = minor;
    put16(out, 0x08, max_structure);
    std::copy_n("_DMI_", 5, out.begin() + 0x10);
    put16(out, 0x16, table.size());
    put32(out, 0x18, TABLE_ADDRESS);
    put16(out, 0x1C, structures);
    out[0x1E] = static_cast<std::uint8_t>(0x20 | minor);
    out[0x15] = checksum(out, 0x10, 0x0F);
    out[0x04] = checksum(out, 0, 0x1F);
  }
  out.insert(out.end(), table.begin(), table.end());
  return out;
}

// Standard output of a program run without a shell, or nothing if it could
// not be started or did not exit with status 0.
std::optional<std::string> run_for_output(std::vector<std::string> args) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  std::string output;
  char chunk[512];
  for (ssize_t got; (got = ::read(fds[0], chunk, sizeof chunk)) > 0;)
    output.append(chunk, static_cast<std::size_t>(got));
  ::close(fds[0]);
  if (spawned != 0) return std::nullopt;
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return output;
}

// How `dmidecode -s KEYWORD` prints a string field, found by running it on
// crafted dumps:
// - nothing when no structure of the type exists before the end of table or
//   when the structure is too short to hold the field;
// - otherwise one line per structure of the type, in table order: only the
//   first line counts, since the first structure is the one that counts;
// - "Not Specified" for string number 0, "<BAD INDEX>" for a number past the
//   string count;
// - else the string as it is, untrimmed, each byte below 20h or from 7Fh up
//   shown as '.'.
// So a field is absent for dmidecode when there is no line, one of the two
// words, or a line of spaces; else it is the line without its end spaces
// (the dumps pad strings with spaces only).
std::optional<std::string> dmidecode_field(const std::string& output) {
  if (output.empty()) return std::nullopt;
  std::string line = output.substr(0, output.find('\n'));
  if (line == "Not Specified" || line == "<BAD INDEX>") return std::nullopt;
  const std::size_t first = line.find_first_not_of(' ');
  if (first == std::string::npos) return std::nullopt;
  return line.substr(first, line.find_last_not_of(' ') + 1 - first);
}

// Our field as dmidecode would show the same bytes. The dumps hold valid
// UTF-8 only, so this loses nothing that the comparison needs.
std::optional<std::string> as_dmidecode_shows(const std::optional<std::string>& field) {
  if (!field) return std::nullopt;
  std::string shown = *field;
  for (char& c : shown) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b >= 0x7F) c = '.';
  }
  return shown;
}

struct Keyword {
  const char* name;
  std::uint8_t type;
  std::uint8_t offset;
  Field field;
};
constexpr Keyword KEYWORDS[] = {
    {"bios-vendor", 0, 0x04, &SmbiosRecord::bios_vendor},
    {"bios-version", 0, 0x05, &SmbiosRecord::bios_version},
    {"bios-release-date", 0, 0x08, &SmbiosRecord::bios_release_date},
    {"system-manufacturer", 1, 0x04, &SmbiosRecord::system_manufacturer},
    {"system-product-name", 1, 0x05, &SmbiosRecord::system_product_name},
    {"system-version", 1, 0x06, &SmbiosRecord::system_version},
    {"system-serial-number", 1, 0x07, &SmbiosRecord::system_serial_number},
    {"system-family", 1, 0x1A, &SmbiosRecord::system_family},
    {"baseboard-product-name", 2, 0x05, &SmbiosRecord::baseboard_product},
};

struct Tally {
  std::size_t dumps = 0, present = 0, absent = 0, first_too_short = 0;
  std::vector<std::string> failures;
};

void compare_rows(const std::vector<Identity>& rows, std::size_t first, std::size_t step, const fs::path& dir,
                  Tally& tally) {
  for (std::size_t row = first; row < rows.size(); row += step) {
    DumpMaker maker(static_cast<std::uint32_t>(row) * 2654435761u + 1);
    const ByteBuffer table = maker.table_for(rows[row], row);
    const bool smbios3 = row % 2 == 0;
    const auto minor = static_cast<std::uint8_t>(smbios3 ? maker.below(8) : 1 + maker.below(8));
    const ByteBuffer dump = dump_file(table, smbios3, minor, maker.structures(), maker.max_structure());
    const fs::path file = dir / ("row" + std::to_string(row) + ".bin");
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(dump.data()), static_cast<std::streamsize>(dump.size()));
    ++tally.dumps;

    const auto ours = parse_smbios(table);
    if (!ours) {
      tally.failures.push_back("row " + std::to_string(row) + ": " + display(ours.error()));
      continue;
    }
    for (const Keyword& k : KEYWORDS) {
      const std::optional<int> first_len = maker.first_length(k.type);
      if (first_len && *first_len <= k.offset) {
        // dmidecode skips a structure too short for the field and shows the
        // next one of the type; ours keeps to the first, so nothing is there
        // to compare but our absence.
        ++tally.first_too_short;
        if ((*ours).*k.field)
          tally.failures.push_back("row " + std::to_string(row) + " " + k.name +
                                   ": present although the first structure is too short");
        continue;
      }
      const auto output = run_for_output({OSTRANE_DMIDECODE, "--from-dump", file.string(), "-s", k.name});
      if (!output) {
        tally.failures.push_back("row " + std::to_string(row) + ": dmidecode failed on " + k.name);
        continue;
      }
      const auto theirs = dmidecode_field(*output);
      const auto mine = as_dmidecode_shows((*ours).*k.field);
      (mine ? tally.present : tally.absent)++;
      if (mine != theirs) {
        tally.failures.push_back("row " + std::to_string(row) + " " + k.name + ": ours [" + mine.value_or("absent") +
                                 "], dmidecode [" + theirs.value_or("absent") + "] from [" + *output + "]");
      }
    }
    fs::remove(file);
  }
}

TEST(ParseSmbiosAgainstDmidecode, NineFieldsAgreeOnDumpsOfRealIdentities) {
  const std::string dmidecode = OSTRANE_DMIDECODE;
  if (dmidecode.empty() || ::access(dmidecode.c_str(), X_OK) != 0) {
    GTEST_SKIP() << "dmidecode is not installed (looked for it at configure time: '" << dmidecode << "')";
  }
  const fs::path identities = OSTRANE_IDENTITIES_TSV;
  if (!fs::exists(identities)) GTEST_SKIP() << "identities sample not found at " << identities;
  const std::vector<Identity> rows = read_identities(identities);
  ASSERT_GE(rows.size(), 100u) << identities;

  std::string pattern = (fs::temp_directory_path() / "ostrane-dmidecode-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const fs::path dir = pattern;

  // Two workers: each run of dmidecode costs about a millisecond.
  std::array<Tally, 2> tallies;
  {
    std::jthread second([&] { compare_rows(rows, 1, 2, dir, tallies[1]); });
    compare_rows(rows, 0, 2, dir, tallies[0]);
  }
  fs::remove_all(dir);

  Tally total;
  for (const Tally& t : tallies) {
    total.dumps += t.dumps;
    total.present += t.present;
    total.absent += t.absent;
    total.first_too_short += t.first_too_short;
    total.failures.insert(total.failures.end(), t.failures.begin(), t.failures.end());
  }
  std::ostringstream report;
  for (std::size_t i = 0; i < std::min<std::size_t>(total.failures.size(), 20); ++i)
    report << total.failures[i] << '\n';
  EXPECT_TRUE(total.failures.empty()) << total.failures.size() << " disagreements, first ones:\n" << report.str();
  EXPECT_EQ(total.dumps, rows.size());
  // Both outcomes must have been exercised for the agreement to mean much.
  EXPECT_GT(total.present, total.dumps * 5);
  EXPECT_GT(total.absent, total.dumps / 4);
  std::cout << total.dumps << " dumps, " << total.present << " present and " << total.absent
            << " absent fields compared, " << total.first_too_short << " fields of too short structures\n";
}

}  // namespace
}  // namespace ostrane
