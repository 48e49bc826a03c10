#pragma once
// Trimming and case folding as the whole program understands them: white
// space is the Unicode White_Space set, case folding touches A-Z only.

#include <string>
#include <string_view>

namespace ostrane {

bool is_white_space(char32_t c);

// Trims White_Space characters at both ends. Bytes that are not valid UTF-8
// are never white space, so trimming stops at them.
std::string_view trim_white_space(std::string_view text);

// Empty once trimmed.
bool is_blank(std::string_view text);

std::string ascii_lower(std::string_view text);
std::string ascii_upper(std::string_view text);

constexpr bool is_ascii_alnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace ostrane
