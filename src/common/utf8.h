#pragma once
// UTF-8 and UTF-16 conversions. Every std::string inside the program holds
// UTF-8; invalid input is repaired with U+FFFD, never rejected, except where
// a caller asks is_valid_utf8 first.

#include <cstddef>
#include <string>
#include <string_view>

namespace ostrane {

inline constexpr char32_t REPLACEMENT_CHARACTER = U'\uFFFD';

// One step of a UTF-8 walk: the scalar value found at a position and how
// many bytes it took. An invalid sequence is its maximal subpart (at least
// one byte) and yields `valid == false`.
struct Utf8Step {
  char32_t value;
  std::size_t length;
  bool valid;
};

Utf8Step decode_utf8_at(std::string_view bytes, std::size_t pos);

bool is_valid_utf8(std::string_view bytes);

// Replaces each maximal invalid subpart by one U+FFFD.
std::string decode_utf8_lossy(std::string_view bytes);

void append_utf8(std::string& out, char32_t value);

// An unpaired surrogate becomes U+FFFD.
std::string utf16_to_utf8_lossy(std::u16string_view text);

// Invalid UTF-8 in the input becomes U+FFFD, as in decode_utf8_lossy.
std::u16string utf8_to_utf16(std::string_view text);

// The same, as 16-bit units of any string type: Windows takes std::wstring
// straight from it, without a copy.
template <class Utf16String>
Utf16String utf8_to_utf16_as(std::string_view text) {
  using Unit = typename Utf16String::value_type;
  Utf16String out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const Utf8Step step = decode_utf8_at(text, pos);
    pos += step.length;
    if (step.value < 0x10000) {
      out.push_back(static_cast<Unit>(step.value));
    } else {
      const char32_t v = step.value - 0x10000;
      out.push_back(static_cast<Unit>(0xD800 + (v >> 10)));
      out.push_back(static_cast<Unit>(0xDC00 + (v & 0x3FF)));
    }
  }
  return out;
}

}  // namespace ostrane
