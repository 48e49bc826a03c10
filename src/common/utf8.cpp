#include "src/common/utf8.h"

#include <cstdint>
#include <cstring>

namespace ostrane {
namespace {

constexpr bool in_range(std::uint8_t b, std::uint8_t lo, std::uint8_t hi) { return b >= lo && b <= hi; }

}  // namespace

Utf8Step decode_utf8_at(std::string_view bytes, std::size_t pos) {
  const auto at = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
  const std::uint8_t lead = at(pos);
  if (lead < 0x80) return {lead, 1, true};

  // The lead byte fixes the sequence length and the allowed range of the
  // second byte; that range excludes overlong forms, surrogates and values
  // past U+10FFFF, so a bad second byte ends the subpart at the lead.
  std::size_t need = 0;
  std::uint8_t lo = 0x80;
  std::uint8_t hi = 0xBF;
  char32_t value = 0;
  if (in_range(lead, 0xC2, 0xDF)) {
    need = 1;
    value = lead & 0x1FU;
  } else if (in_range(lead, 0xE0, 0xEF)) {
    need = 2;
    value = lead & 0x0FU;
    if (lead == 0xE0) lo = 0xA0;
    if (lead == 0xED) hi = 0x9F;
  } else if (in_range(lead, 0xF0, 0xF4)) {
    need = 3;
    value = lead & 0x07U;
    if (lead == 0xF0) lo = 0x90;
    if (lead == 0xF4) hi = 0x8F;
  } else {
    return {REPLACEMENT_CHARACTER, 1, false};
  }

  std::size_t len = 1;
  for (std::size_t k = 0; k < need; ++k) {
    if (pos + len >= bytes.size()) return {REPLACEMENT_CHARACTER, len, false};
    const std::uint8_t b = at(pos + len);
    if (!in_range(b, k == 0 ? lo : 0x80, k == 0 ? hi : 0xBF)) return {REPLACEMENT_CHARACTER, len, false};
    value = (value << 6) | (b & 0x3FU);
    ++len;
  }
  return {value, len, true};
}

bool is_valid_utf8(std::string_view bytes) {
  // Profiles are ASCII but for their French texts: eight bytes at a time
  // until a byte has its high bit set.
  constexpr std::uint64_t HIGH_BITS = 0x8080808080808080U;
  for (std::size_t pos = 0; pos < bytes.size();) {
    std::uint64_t eight = 0;
    if (bytes.size() - pos >= sizeof(eight)) {
      std::memcpy(&eight, bytes.data() + pos, sizeof(eight));
      if ((eight & HIGH_BITS) == 0) {
        pos += sizeof(eight);
        continue;
      }
    }
    const Utf8Step step = decode_utf8_at(bytes, pos);
    if (!step.valid) return false;
    pos += step.length;
  }
  return true;
}

void append_utf8(std::string& out, char32_t value) {
  if (value < 0x80) {
    out.push_back(static_cast<char>(value));
  } else if (value < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (value >> 6)));
    out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
  } else if (value < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (value >> 12)));
    out.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (value >> 18)));
    out.push_back(static_cast<char>(0x80 | ((value >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
  }
}

std::string decode_utf8_lossy(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t clean_from = 0;
  for (std::size_t pos = 0; pos < bytes.size();) {
    const Utf8Step step = decode_utf8_at(bytes, pos);
    if (!step.valid) {
      out.append(bytes.substr(clean_from, pos - clean_from));
      append_utf8(out, REPLACEMENT_CHARACTER);
      clean_from = pos + step.length;
    }
    pos += step.length;
  }
  out.append(bytes.substr(clean_from));
  return out;
}

std::string utf16_to_utf8_lossy(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      append_utf8(out, 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (char32_t{text[i + 1]} - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      append_utf8(out, REPLACEMENT_CHARACTER);
    } else {
      append_utf8(out, unit);
    }
  }
  return out;
}

std::u16string utf8_to_utf16(std::string_view text) { return utf8_to_utf16_as<std::u16string>(text); }

}  // namespace ostrane
