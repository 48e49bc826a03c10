#include "src/common/text.h"

#include "src/common/utf8.h"

namespace ostrane {

bool is_white_space(char32_t c) {
  switch (c) {
    case 0x09:
    case 0x0A:
    case 0x0B:
    case 0x0C:
    case 0x0D:
    case 0x20:
    case 0x85:
    case 0xA0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000: return true;
    default: return c >= 0x2000 && c <= 0x200A;
  }
}

std::string_view trim_white_space(std::string_view text) {
  std::size_t begin = text.size();
  std::size_t end = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    const Utf8Step step = decode_utf8_at(text, pos);
    if (!step.valid || !is_white_space(step.value)) {
      if (begin == text.size()) begin = pos;
      end = pos + step.length;
    }
    pos += step.length;
  }
  if (begin >= end) return text.substr(0, 0);
  return text.substr(begin, end - begin);
}

// What trimming would leave empty, found without trimming: the first
// character that is not White_Space (or not valid UTF-8) settles it.
bool is_blank(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();) {
    const Utf8Step step = decode_utf8_at(text, pos);
    if (!step.valid || !is_white_space(step.value)) return false;
    pos += step.length;
  }
  return true;
}

std::string ascii_lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string ascii_upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

}  // namespace ostrane
