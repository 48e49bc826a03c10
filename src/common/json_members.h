#pragma once
// Reads one JSON value and shows the members of a top-level object one by
// one, as written: duplicates, the exact kind of each number and the order
// are the caller's to judge, which a parsed document would hide.

#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace ostrane {

enum class JsonKind {
  Null,
  Boolean,
  NegativeInteger,  // written with a minus sign, "-0" included
  UnsignedInteger,  // digits only, up to 18446744073709551615
  OtherNumber,      // a fraction, an exponent or beyond 64 bits
  String,
  Object,
  Array,
};

// One member of the top-level object. Only the field of its kind is set;
// the content of an object or array value is skipped.
struct JsonMember {
  std::string_view name;
  JsonKind kind;
  bool boolean = false;
  std::int64_t negative = 0;
  std::uint64_t unsigned_integer = 0;
  std::string_view text;  // a string's content, unescaped
};

// Returns an error text to stop reading, which read_json_members returns.
using JsonMemberVisitor = std::function<std::optional<std::string>(const JsonMember&)>;

// What a UTF-8 byte-order mark in front of the value is: skipped, as the
// JSON library does (a .NET program may write one), or an error like any
// other byte that cannot start a value.
enum class LeadingBom { Skip, Refuse };

// The text must hold exactly one JSON value (ASCII white space around it is
// allowed by JSON itself). Returns the kind of that value, or the parser's
// description of the first syntax error ("parse error at line 1, column
// 2: …"), or the visitor's error.
std::expected<JsonKind, std::string> read_json_members(std::string_view text, const JsonMemberVisitor& visit,
                                                       LeadingBom bom = LeadingBom::Skip);

}  // namespace ostrane
