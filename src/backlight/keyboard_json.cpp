#include "src/backlight/keyboard_json.h"

#include <array>
#include <cstddef>
#include <optional>

#include "src/common/json_members.h"
#include "src/common/text.h"

namespace ostrane {
namespace {

enum class Member { Available, Known, Level, MaxLevel, Source, Applied, Reason };

struct MemberSpec {
  std::string_view name;
  Member member;
};

// In the order the script prints them, which is the order a missing one is
// reported in.
constexpr std::array<MemberSpec, 7> MEMBERS{{
    {"available", Member::Available},
    {"known", Member::Known},
    {"level", Member::Level},
    {"max_level", Member::MaxLevel},
    {"source", Member::Source},
    {"applied", Member::Applied},
    {"reason", Member::Reason},
}};

std::string member_error(std::string_view what, std::string_view name) {
  std::string text(what);
  text += " : ";
  text += name;
  return text;
}

std::optional<std::string> read_boolean(const JsonMember& m, bool& out) {
  if (m.kind != JsonKind::Boolean) return member_error("booléen attendu pour le membre", m.name);
  out = m.boolean;
  return std::nullopt;
}

std::optional<std::string> read_string(const JsonMember& m, std::string& out) {
  if (m.kind != JsonKind::String) return member_error("texte attendu pour le membre", m.name);
  out = m.text;
  return std::nullopt;
}

// An integer from 0 to 255, with or without a sign ("-0" is zero); a
// fraction or an exponent is not an integer even when its value is whole.
std::optional<std::string> read_level(const JsonMember& m, std::uint8_t& out) {
  if (m.kind == JsonKind::UnsignedInteger && m.unsigned_integer <= 255) {
    out = static_cast<std::uint8_t>(m.unsigned_integer);
    return std::nullopt;
  }
  if (m.kind == JsonKind::NegativeInteger && m.negative == 0) {
    out = 0;
    return std::nullopt;
  }
  return member_error("entier de 0 à 255 attendu pour le membre", m.name);
}

}  // namespace

std::expected<KeyboardJson, std::string> parse_keyboard_json(std::string_view text) {
  KeyboardJson json;
  std::array<bool, MEMBERS.size()> seen{};

  const auto visit = [&](const JsonMember& m) -> std::optional<std::string> {
    std::size_t index = 0;
    while (index < MEMBERS.size() && MEMBERS[index].name != m.name) ++index;
    if (index == MEMBERS.size()) return std::nullopt;
    if (seen[index]) return member_error("membre en double", m.name);
    seen[index] = true;
    switch (MEMBERS[index].member) {
      case Member::Available: return read_boolean(m, json.available);
      case Member::Known: return read_boolean(m, json.known);
      case Member::Level: return read_level(m, json.level);
      case Member::MaxLevel: return read_level(m, json.max_level);
      case Member::Source: return read_string(m, json.source);
      case Member::Applied: return read_boolean(m, json.applied);
      case Member::Reason: return read_string(m, json.reason);
    }
    return std::nullopt;
  };

  const auto kind = read_json_members(trim_white_space(text), visit);
  if (!kind) return std::unexpected(kind.error());
  if (*kind != JsonKind::Object) return std::unexpected(std::string("objet JSON attendu"));
  for (std::size_t i = 0; i < MEMBERS.size(); ++i) {
    if (!seen[i]) return std::unexpected(member_error("membre manquant", MEMBERS[i].name));
  }
  return json;
}

}  // namespace ostrane
