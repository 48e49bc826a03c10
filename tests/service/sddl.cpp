#include "tests/service/sddl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <utility>

namespace ostrane::testing_support {
namespace {

using Code = std::pair<std::string_view, std::uint32_t>;

constexpr std::array<std::pair<std::string_view, std::string_view>, 9> SID_ALIASES = {{
    {"SY", "S-1-5-18"},
    {"BA", "S-1-5-32-544"},
    {"BU", "S-1-5-32-545"},
    {"AU", "S-1-5-11"},
    {"WD", "S-1-1-0"},
    {"CO", "S-1-3-0"},
    {"OW", "S-1-3-4"},
    {"AC", "S-1-15-2-1"},
    {"IU", "S-1-5-4"},
}};

constexpr std::array<Code, 5> FLAGS = {{{"OI", 0x01}, {"CI", 0x02}, {"NP", 0x04}, {"IO", 0x08}, {"ID", 0x10}}};

constexpr std::array<Code, 21> RIGHTS = {{
    {"GA", 0x10000000}, {"GR", 0x80000000}, {"GW", 0x40000000}, {"GX", 0x20000000}, {"FA", 0x001F01FF},
    {"FR", 0x00120089}, {"FW", 0x00120116}, {"FX", 0x001200A0}, {"SD", 0x00010000}, {"RC", 0x00020000},
    {"WD", 0x00040000}, {"WO", 0x00080000}, {"CC", 0x00000001}, {"DC", 0x00000002}, {"LC", 0x00000004},
    {"SW", 0x00000008}, {"RP", 0x00000010}, {"WP", 0x00000020}, {"DT", 0x00000040}, {"LO", 0x00000080},
    {"CR", 0x00000100},
}};

template <std::size_t N>
std::uint32_t codes(std::string_view text, const std::array<Code, N>& table) {
  std::uint32_t value = 0;
  for (; text.size() >= 2; text.remove_prefix(2)) {
    const auto found = std::ranges::find(table, text.substr(0, 2), &Code::first);
    EXPECT_NE(found, table.end()) << "unknown code " << text.substr(0, 2);
    if (found != table.end()) value |= found->second;
  }
  EXPECT_TRUE(text.empty()) << "odd code " << text;
  return value;
}

std::string sid(std::string_view text) {
  const auto alias = std::ranges::find(SID_ALIASES, text, &std::pair<std::string_view, std::string_view>::first);
  if (alias != SID_ALIASES.end()) return std::string(alias->second);
  EXPECT_TRUE(text.starts_with("S-1-")) << "unknown SID " << text;
  return std::string(text);
}

std::uint32_t rights(std::string_view text) {
  if (!text.starts_with("0x")) return codes(text, RIGHTS);
  std::uint32_t value = 0;
  std::from_chars(text.data() + 2, text.data() + text.size(), value, 16);
  return value;
}

// "A;OICI;FA;;;SY"
AceEntry entry(std::string_view text) {
  std::array<std::string_view, 6> fields{};
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const std::size_t end = i + 1 < fields.size() ? text.find(';') : text.size();
    fields[i] = text.substr(0, end);
    text.remove_prefix(std::min(text.size(), end + 1));
  }
  // The SDDL names of entry types, or a header type in hexadecimal for one
  // SDDL cannot write (0x04, a compound entry).
  constexpr std::array<std::pair<std::string_view, std::uint8_t>, 8> TYPES = {
      {{"A", 0x00}, {"D", 0x01}, {"AU", 0x02}, {"OA", 0x05}, {"OD", 0x06}, {"XA", 0x09}, {"XD", 0x0A}, {"ML", 0x11}}};
  std::uint8_t header_type = 0;
  if (fields[0].starts_with("0x")) {
    std::from_chars(fields[0].data() + 2, fields[0].data() + fields[0].size(), header_type, 16);
  } else {
    const auto found = std::ranges::find(TYPES, fields[0], &std::pair<std::string_view, std::uint8_t>::first);
    EXPECT_NE(found, TYPES.end()) << "unknown entry type " << fields[0];
    if (found != TYPES.end()) header_type = found->second;
  }
  return {ace_type_of(header_type), sid(fields[5]), rights(fields[2]), static_cast<std::uint8_t>(codes(fields[1], FLAGS)),
          header_type};
}

}  // namespace

ObjectSecurity parse_sddl(std::string_view sddl) {
  ObjectSecurity security;
  const std::size_t owner_end = std::min(sddl.find("G:"), sddl.find("D:"));
  EXPECT_TRUE(sddl.starts_with("O:") && owner_end != std::string_view::npos) << sddl;
  security.owner_sid = sid(sddl.substr(2, owner_end - 2));
  std::string_view dacl = sddl.substr(sddl.find("D:") + 2);
  dacl = dacl.substr(0, dacl.find("S:"));
  if (dacl.starts_with("NO_ACCESS_CONTROL")) return security;
  security.dacl.emplace();
  for (std::size_t open = dacl.find('('); open != std::string_view::npos; open = dacl.find('(', open + 1)) {
    const std::size_t close = dacl.find(')', open);
    security.dacl->push_back(entry(dacl.substr(open + 1, close - open - 1)));
  }
  return security;
}

}  // namespace ostrane::testing_support
