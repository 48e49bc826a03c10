#include "src/profiles/plain_profile.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "src/common/text.h"
#include "src/common/utf8.h"

namespace ostrane {
namespace {

// A value of an inline table: a string or an integer.
struct Scalar {
  bool is_string = false;
  std::string text;
  std::int64_t number = 0;
};

// The widest inline table of the schema: a WMI access, its method and two
// keys. A wider one is left to the library, so that no table costs more
// than a few comparisons a key.
constexpr std::size_t MAX_INLINE_KEYS = 3;

// Its keys and values, held in place: under Wine each allocation costs.
class InlineTable {
 public:
  using Entry = std::pair<std::string_view, Scalar>;
  std::size_t size() const { return size_; }
  bool full() const { return size_ == entries_.size(); }
  void add(std::string_view key, Scalar value) { entries_.at(size_++) = {key, std::move(value)}; }
  std::span<Entry> entries() { return std::span(entries_).first(size_); }

 private:
  std::array<Entry, MAX_INLINE_KEYS> entries_;
  std::size_t size_ = 0;
};

// The TOML library refuses an integer of more digits than this, leading
// zeros included, whatever its value.
constexpr std::size_t MAX_INTEGER_DIGITS = 128;

bool is_bare_key_char(char c) { return is_ascii_alnum(c) || c == '-' || c == '_'; }

// TOML's control characters, which no string or comment may hold; a tab
// may.
bool is_control(unsigned char c) { return (c < 0x20 && c != '\t') || c == 0x7F; }

// Every read returns nothing when the text is not of the plain shape; the
// caller then declines the whole document.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  bool at_end() const { return pos_ >= text_.size(); }
  char peek() const { return at_end() ? '\0' : text_[pos_]; }
  bool take(char c) {
    if (peek() != c) return false;
    ++pos_;
    return true;
  }
  bool take(std::string_view word) {
    if (!text_.substr(pos_).starts_with(word)) return false;
    pos_ += word.size();
    return true;
  }

  void skip_blanks() {
    while (peek() == ' ' || peek() == '\t') ++pos_;
  }

  // Blanks, a comment maybe, then the end of the line or of the text.
  bool end_of_line() {
    skip_blanks();
    if (take('#')) {
      while (!at_end() && text_[pos_] != '\n' && text_[pos_] != '\r') {
        if (is_control(static_cast<unsigned char>(text_[pos_]))) return false;
        ++pos_;
      }
    }
    if (at_end()) return true;
    return take('\n') || take("\r\n");
  }

  std::optional<std::string_view> bare_key() {
    const std::size_t start = pos_;
    while (is_bare_key_char(peek())) ++pos_;
    if (pos_ == start) return std::nullopt;
    return text_.substr(start, pos_ - start);
  }

  std::optional<std::string> string() {
    if (take(R"(""")") || take("'''")) return std::nullopt;  // multi-line
    if (take('\'')) return literal_string();
    if (take('"')) return basic_string();
    return std::nullopt;
  }

  std::optional<std::int64_t> integer() {
    std::optional<std::int64_t> value = take("0x")  ? digits(16, false)
                                        : take('-') ? digits(10, true)
                                                    : digits(10, false);
    // Whatever else follows digits (a dot, an exponent, a date, a time) is
    // another kind of value.
    const char next = peek();
    if (next != ' ' && next != '\t' && next != ',' && next != '}' && next != ']' && next != '#' && next != '\n' &&
        next != '\r' && !at_end()) {
      return std::nullopt;
    }
    return value;
  }

  // ["a", "b"] on one line; [] too.
  std::optional<std::vector<std::string>> strings() {
    if (!take('[')) return std::nullopt;
    std::vector<std::string> out;
    skip_blanks();
    if (take(']')) return out;
    out.reserve(4);  // a profile's lists seldom hold more
    for (;;) {
      skip_blanks();
      std::optional<std::string> element = string();
      if (!element) return std::nullopt;
      out.push_back(std::move(*element));
      skip_blanks();
      if (take(']')) return out;
      if (!take(',')) return std::nullopt;
    }
  }

  // { key = "text", key = 12 } on one line, each key once, at most
  // MAX_INLINE_KEYS of them; {} too.
  std::optional<InlineTable> inline_table() {
    if (!take('{')) return std::nullopt;
    InlineTable out;
    skip_blanks();
    if (take('}')) return out;
    for (;;) {
      skip_blanks();
      const std::optional<std::string_view> key = bare_key();
      if (!key || out.full()) return std::nullopt;
      for (const auto& [seen, value] : out.entries()) {
        if (seen == *key) return std::nullopt;
      }
      skip_blanks();
      if (!take('=')) return std::nullopt;
      skip_blanks();
      std::optional<Scalar> value = scalar();
      if (!value) return std::nullopt;
      out.add(*key, std::move(*value));
      skip_blanks();
      if (take('}')) return out;
      if (!take(',')) return std::nullopt;
    }
  }

 private:
  std::optional<Scalar> scalar() {
    if (peek() == '"' || peek() == '\'') {
      std::optional<std::string> text = string();
      if (!text) return std::nullopt;
      return Scalar{true, std::move(*text), 0};
    }
    const std::optional<std::int64_t> number = integer();
    if (!number) return std::nullopt;
    return Scalar{false, {}, *number};
  }

  std::optional<std::string> literal_string() {
    const std::size_t start = pos_;
    while (!at_end() && text_[pos_] != '\'') {
      if (is_control(static_cast<unsigned char>(text_[pos_]))) return std::nullopt;
      ++pos_;
    }
    if (!take('\'')) return std::nullopt;
    return std::string(text_.substr(start, pos_ - 1 - start));
  }

  std::optional<std::string> basic_string() {
    std::string out;
    for (;;) {
      const std::size_t start = pos_;
      while (!at_end() && text_[pos_] != '"' && text_[pos_] != '\\') {
        if (is_control(static_cast<unsigned char>(text_[pos_]))) return std::nullopt;
        ++pos_;
      }
      out.append(text_.substr(start, pos_ - start));
      if (take('"')) return out;
      if (!take('\\') || at_end()) return std::nullopt;
      // The one-letter escapes; \x, \u and \U go the library's way.
      constexpr std::string_view LETTERS = "btnfre\"\\";
      constexpr std::string_view MEANINGS = "\b\t\n\f\r\x1B\"\\";
      const std::size_t which = LETTERS.find(text_[pos_]);
      if (which == std::string_view::npos) return std::nullopt;
      out += MEANINGS[which];
      ++pos_;
    }
  }

  std::optional<std::int64_t> digits(int base, bool negative) {
    const std::size_t start = pos_;
    std::uint64_t value = 0;
    for (;; ++pos_) {
      const char c = peek();
      int digit = -1;
      if (c >= '0' && c <= '9') digit = c - '0';
      if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      if (digit < 0) break;
      if (value > (std::numeric_limits<std::uint64_t>::max() - static_cast<unsigned>(digit)) / base) {
        return std::nullopt;
      }
      value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
    }
    const std::size_t count = pos_ - start;
    // Decimal integers have no leading zero.
    if (count == 0 || count > MAX_INTEGER_DIGITS || (base == 10 && count > 1 && text_[start] == '0')) {
      return std::nullopt;
    }
    constexpr auto MAX = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (negative) {
      if (value > MAX + 1) return std::nullopt;
      return value == MAX + 1 ? std::numeric_limits<std::int64_t>::min() : -static_cast<std::int64_t>(value);
    }
    if (value > MAX) return std::nullopt;
    return static_cast<std::int64_t>(value);
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

// The fields of a table, each allowed once.
template <std::size_t N>
class Fields {
 public:
  explicit constexpr Fields(const std::array<std::string_view, N>& names) : names_(names) {}
  // The field's index, the first time it is given; nothing for an unknown
  // or repeated key.
  std::optional<std::size_t> take(std::string_view key) {
    for (std::size_t i = 0; i < N; ++i) {
      if (names_[i] != key) continue;
      if (seen_[i]) return std::nullopt;
      seen_.set(i);
      return i;
    }
    return std::nullopt;
  }
  bool has_first(std::size_t required) const {
    for (std::size_t i = 0; i < required; ++i) {
      if (!seen_[i]) return false;
    }
    return true;
  }

 private:
  std::array<std::string_view, N> names_;
  std::bitset<N> seen_;
};

constexpr std::array<std::string_view, 6> PROFILE_FIELDS = {"schema_version", "id",      "display_name",
                                                            "scope",          "matches", "capabilities"};
constexpr std::array<std::string_view, 2> MATCHES_FIELDS = {"mtm", "version_contains"};
constexpr std::array<std::string_view, 8> CAPABILITY_FIELDS = {"id",      "label",        "access", "confidence",
                                                               "sources", "validated_on", "bounds", "notes"};

template <class Int>
std::optional<Int> in_range(std::optional<std::int64_t> value) {
  if (!value || !std::in_range<Int>(*value)) return std::nullopt;
  return static_cast<Int>(*value);
}

Scalar* field(InlineTable& table, std::string_view key) {
  for (auto& [name, value] : table.entries()) {
    if (name == key) return &value;
  }
  return nullptr;
}

// Exactly `keys` beside `method`, each of its kind.
bool has_exactly(InlineTable& table, std::initializer_list<std::pair<std::string_view, bool>> keys) {
  if (table.size() != keys.size() + 1) return false;
  return std::ranges::all_of(keys, [&](const auto& key) {
    const Scalar* value = field(table, key.first);
    return value != nullptr && value->is_string == key.second;
  });
}

std::optional<Access> access_of(InlineTable& table) {
  const Scalar* method = field(table, "method");
  if (method == nullptr || !method->is_string) return std::nullopt;
  const std::string& name = method->text;
  if (name == "platform_profile") return access::PlatformProfile{};  // the other keys are ignored
  if (name == "msr" && has_exactly(table, {{"address", false}})) {
    if (const auto address = in_range<std::uint32_t>(field(table, "address")->number)) return access::Msr{*address};
  }
  if (name == "ec" && has_exactly(table, {{"offset", false}})) {
    if (const auto offset = in_range<std::uint8_t>(field(table, "offset")->number)) return access::Ec{*offset};
  }
  if (name == "wmi" && has_exactly(table, {{"class", true}, {"property", true}})) {
    return access::Wmi{std::move(field(table, "class")->text), std::move(field(table, "property")->text)};
  }
  if (name == "acpi" && has_exactly(table, {{"path", true}})) {
    return access::Acpi{std::move(field(table, "path")->text)};
  }
  return std::nullopt;
}

std::optional<Bounds> bounds_of(InlineTable& table) {
  const Scalar* min = field(table, "min");
  const Scalar* max = field(table, "max");
  if (table.size() != 2 || min == nullptr || max == nullptr || min->is_string || max->is_string) return std::nullopt;
  return Bounds{min->number, max->number};
}

template <class Enum, std::size_t N>
std::optional<Enum> enum_of(std::optional<std::string> text, const std::array<std::string_view, N>& names,
                            const std::array<Enum, N>& values) {
  if (!text) return std::nullopt;
  for (std::size_t i = 0; i < N; ++i) {
    if (names[i] == *text) return values[i];
  }
  return std::nullopt;
}

constexpr std::array<std::string_view, 2> SCOPE_NAMES = {"model", "family"};
constexpr std::array<ProfileScope, 2> SCOPES = {ProfileScope::Model, ProfileScope::Family};
constexpr std::array<std::string_view, 3> CONFIDENCE_NAMES = {"validated", "documented", "assumed"};
constexpr std::array<Confidence, 3> CONFIDENCES = {Confidence::Validated, Confidence::Documented, Confidence::Assumed};

// Assigns `value` to `target` when there is one.
template <class T>
bool set(T& target, std::optional<T> value) {
  if (!value) return false;
  target = std::move(*value);
  return true;
}
template <class T>
bool set(std::optional<T>& target, std::optional<T> value) {
  if (!value) return false;
  target = std::move(value);
  return true;
}

bool read_root_value(Reader& in, std::size_t field, MachineProfile& profile) {
  switch (field) {
    case 0: return set(profile.schema_version, in_range<std::uint32_t>(in.integer()));
    case 1: return set(profile.id, in.string());
    case 2: return set(profile.display_name, in.string());
    case 3: return set(profile.scope, enum_of(in.string(), SCOPE_NAMES, SCOPES));
    default: return false;  // matches and capabilities come as tables of their own
  }
}

bool read_capability_value(Reader& in, std::size_t field, Capability& capability) {
  switch (field) {
    case 0: return set(capability.id, in.string());
    case 1: return set(capability.label, in.string());
    case 2: {
      std::optional<InlineTable> table = in.inline_table();
      return table && set(capability.access, access_of(*table));
    }
    case 3: return set(capability.confidence, enum_of(in.string(), CONFIDENCE_NAMES, CONFIDENCES));
    case 4: return set(capability.sources, in.strings());
    case 5: return set(capability.validated_on, in.string());
    case 6: {
      std::optional<InlineTable> table = in.inline_table();
      return table && set(capability.bounds, bounds_of(*table));
    }
    default: return set(capability.notes, in.string());
  }
}

// The document line by line, into the profile; false on the first line
// that is not of the plain shape.
class ProfileLines {
 public:
  bool read(Reader& in) {
    while (!in.at_end()) {
      in.skip_blanks();
      if (in.end_of_line()) continue;
      if (!(in.take('[') ? header(in) : key_value(in)) || !in.end_of_line()) return false;
    }
    // The required fields: five of the profile, five of each capability.
    return root_.has_first(5) && capability_complete();
  }
  MachineProfile& profile() { return profile_; }

 private:
  enum class Section { Root, Matches, Capability };

  // After its opening bracket.
  bool header(Reader& in) {
    if (in.take("[capabilities]]")) {
      // After a root key "capabilities", these would define it again.
      if (profile_.capabilities.empty() && !root_.take("capabilities")) return false;
      if (!capability_complete()) return false;
      section_ = Section::Capability;
      profile_.capabilities.emplace_back();
      capability_fields_ = Fields<CAPABILITY_FIELDS.size()>(CAPABILITY_FIELDS);
      return true;
    }
    if (!in.take("matches]") || !root_.take("matches")) return false;
    section_ = Section::Matches;
    return true;
  }

  bool key_value(Reader& in) {
    const std::optional<std::string_view> key = in.bare_key();
    if (!key) return false;
    in.skip_blanks();
    if (!in.take('=')) return false;
    in.skip_blanks();
    switch (section_) {
      case Section::Root: {
        const std::optional<std::size_t> field = root_.take(*key);
        return field && read_root_value(in, *field, profile_);
      }
      case Section::Matches: {
        const std::optional<std::size_t> field = matches_.take(*key);
        return field && set(*field == 0 ? profile_.matches.mtm : profile_.matches.version_contains, in.strings());
      }
      case Section::Capability: {
        const std::optional<std::size_t> field = capability_fields_.take(*key);
        return field && read_capability_value(in, *field, profile_.capabilities.back());
      }
    }
    return false;
  }

  // The last capability, if any, has its required fields; no key can be
  // added to an earlier one.
  bool capability_complete() const { return profile_.capabilities.empty() || capability_fields_.has_first(5); }

  Section section_ = Section::Root;
  MachineProfile profile_;
  Fields<PROFILE_FIELDS.size()> root_{PROFILE_FIELDS};
  Fields<MATCHES_FIELDS.size()> matches_{MATCHES_FIELDS};
  Fields<CAPABILITY_FIELDS.size()> capability_fields_{CAPABILITY_FIELDS};
};

}  // namespace

std::optional<MachineProfile> read_plain_profile(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF") || !is_valid_utf8(text)) return std::nullopt;
  Reader in(text);
  ProfileLines lines;
  // One allocation for the capabilities rather than one at each doubling.
  // The count is a hint (a comment may hold the header too), so it is
  // bounded: a file of headers must not reserve memory for each.
  constexpr std::string_view CAPABILITY_HEADER = "[[capabilities]]";
  constexpr std::size_t MAX_RESERVED_CAPABILITIES = 64;
  std::size_t headers = 0;
  for (std::size_t at = text.find(CAPABILITY_HEADER);
       at != std::string_view::npos && headers < MAX_RESERVED_CAPABILITIES;
       at = text.find(CAPABILITY_HEADER, at + CAPABILITY_HEADER.size())) {
    ++headers;
  }
  lines.profile().capabilities.reserve(headers);
  if (!lines.read(in)) return std::nullopt;
  return std::move(lines.profile());
}

}  // namespace ostrane
