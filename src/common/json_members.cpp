#include "src/common/json_members.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <utility>

#include "src/common/utf8.h"

namespace ostrane {
namespace {

using Json = nlohmann::json;

// nlohmann puts "[json.exception.parse_error.101] " in front of its own
// description; that identifier means nothing to the reader of the message.
// The description quotes the bytes last read, which may end inside a
// character: the message must stay UTF-8 wherever it is shown or sent.
std::string parser_description(std::string_view what) {
  if (what.starts_with('[')) {
    const auto close = what.find("] ");
    if (close != std::string_view::npos) what.remove_prefix(close + 2);
  }
  return decode_utf8_lossy(what);
}

class MemberSax {
 public:
  explicit MemberSax(const JsonMemberVisitor& visit) : visit_(visit) {}

  bool null() { return scalar({.kind = JsonKind::Null}); }
  bool boolean(bool value) { return scalar({.kind = JsonKind::Boolean, .boolean = value}); }
  bool number_integer(Json::number_integer_t value) {
    return scalar({.kind = JsonKind::NegativeInteger, .negative = value});
  }
  bool number_unsigned(Json::number_unsigned_t value) {
    return scalar({.kind = JsonKind::UnsignedInteger, .unsigned_integer = value});
  }
  bool number_float(Json::number_float_t, const Json::string_t&) { return scalar({.kind = JsonKind::OtherNumber}); }
  bool string(Json::string_t& value) { return scalar({.kind = JsonKind::String, .text = value}); }
  static bool binary(Json::binary_t&) { return true; }  // not produced by the text reader

  bool start_object(std::size_t) { return open(JsonKind::Object); }
  bool start_array(std::size_t) { return open(JsonKind::Array); }
  bool end_object() { return close(); }
  bool end_array() { return close(); }
  bool key(Json::string_t& name) {
    if (depth_ == 1) key_ = name;
    return true;
  }

  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error) {
    error_ = parser_description(error.what());
    return false;
  }

  // The kind of the top-level value, once it has begun.
  std::optional<JsonKind> top_kind() const { return top_kind_; }
  // What stopped the reading: the parser's description or the visitor's text.
  std::optional<std::string> take_error() { return std::move(error_); }

 private:
  // A value directly inside the top-level object is a member; deeper values
  // belong to a member already reported.
  bool report(JsonMember member) {
    if (depth_ != 1 || top_kind_ != JsonKind::Object) return true;
    member.name = key_;
    error_ = visit_(member);
    return !error_;
  }
  bool scalar(JsonMember member) {
    if (depth_ == 0) top_kind_ = member.kind;
    return report(member);
  }
  bool open(JsonKind kind) {
    if (depth_ == 0) {
      top_kind_ = kind;
    } else if (!report({.kind = kind})) {
      return false;
    }
    ++depth_;
    return true;
  }
  bool close() {
    --depth_;
    return true;
  }

  const JsonMemberVisitor& visit_;
  std::size_t depth_ = 0;
  std::string key_;
  std::optional<JsonKind> top_kind_;
  std::optional<std::string> error_;
};

}  // namespace

std::expected<JsonKind, std::string> read_json_members(std::string_view text, const JsonMemberVisitor& visit,
                                                       LeadingBom bom) {
  constexpr std::string_view BOM = "\xEF\xBB\xBF";
  if (bom == LeadingBom::Refuse && text.starts_with(BOM)) {
    // The library skips a mark only at the very start of its input: behind
    // one space it is read as the invalid literal it is. The description is
    // then put back at the mark's own place, the first column, without the
    // space it did not see.
    std::string shifted(1, ' ');
    shifted += text;
    const auto read = read_json_members(shifted, visit);
    if (read) return read;
    std::string description = read.error();
    const auto replace = [&](std::string_view from, std::string_view to) {
      if (const auto at = description.find(from); at != std::string::npos) description.replace(at, from.size(), to);
    };
    replace("at line 1, column 2:", "at line 1, column 1:");
    replace("last read: ' ", "last read: '");
    return std::unexpected(std::move(description));
  }
  MemberSax sax(visit);
  const bool ok = Json::sax_parse(text.begin(), text.end(), &sax, nlohmann::detail::input_format_t::json, true);
  if (std::optional<std::string> error = sax.take_error()) return std::unexpected(std::move(*error));
  const std::optional<JsonKind> kind = sax.top_kind();
  if (!ok || !kind) return std::unexpected(std::string("parse error"));
  // The library takes a NUL byte for the end of its input, as in a C
  // string, so whatever follows one went unread. A NUL inside the value is
  // already an error; one after it is a stray byte like any other, and is
  // described as the library describes those, from a copy where it is one.
  if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) {
    std::string stray(text);
    stray[nul] = '\x01';
    const auto again = read_json_members(stray, [](const JsonMember&) { return std::optional<std::string>(); });
    std::string description = again ? std::string("parse error") : again.error();
    if (const auto at = description.rfind("<U+0001>"); at != std::string::npos) description.replace(at, 8, "<U+0000>");
    return std::unexpected(std::move(description));
  }
  return *kind;
}

}  // namespace ostrane
