#pragma once
// The program's pretty JSON: two-space indentation, one member per line,
// ": " after keys, raw UTF-8, no line feed after the last brace.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrane {

// A JSON string with its quotes: \" \\ \b \t \n \f \r, other bytes below
// 0x20 as \u00xx, everything else (accents included) as it is.
void append_json_string(std::string& out, std::string_view text);

class JsonWriter {
 public:
  void begin_object();
  void end_object();
  void begin_array();
  void end_array();
  // Inside an object, before each value.
  void key(std::string_view name);

  void string(std::string_view text);
  void optional_string(const std::optional<std::string>& text);
  void optional_string(const std::optional<std::string_view>& text);
  void number(std::uint64_t value);
  void null();

  const std::string& text() const { return out_; }

 private:
  void before_value();
  void open(char bracket);
  void close(char bracket);
  void new_line_at(std::size_t depth);

  struct Level {
    std::size_t members = 0;
    bool awaiting_value = false;  // an object after key()
  };
  std::string out_;
  std::vector<Level> levels_;
};

}  // namespace ostrane
