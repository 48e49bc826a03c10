#include "src/common/json_writer.h"

#include <gtest/gtest.h>

namespace ostrane {
namespace {

TEST(JsonString, EscapesQuotesBackslashesAndControlBytesOnly) {
  struct Case {
    std::string_view name, input, expected;
  };
  const Case cases[] = {
      {"plain", "ThinkPad", "\"ThinkPad\""},
      {"quote and backslash", "a\"b\\c", "\"a\\\"b\\\\c\""},
      {"short escapes", "\b\t\n\f\r", "\"\\b\\t\\n\\f\\r\""},
      {"other control bytes", std::string_view("\x00\x01\x1f\x0b", 4), "\"\\u0000\\u0001\\u001f\\u000b\""},
      {"slash and DEL stay", "a/b\x7f", "\"a/b\x7f\""},
      {"accents stay raw", "ind\xC3\xA9pendant \xE2\x82\xAC", "\"ind\xC3\xA9pendant \xE2\x82\xAC\""},
      {"empty", "", "\"\""},
  };
  for (const auto& c : cases) {
    std::string out;
    append_json_string(out, c.input);
    EXPECT_EQ(out, c.expected) << c.name;
  }
}

TEST(JsonWriter, WritesTheIndentedFormWholeDocuments) {
  JsonWriter w;
  w.begin_object();
  w.key("a");
  w.string("x");
  w.key("b");
  w.null();
  w.key("n");
  w.number(18446744073709551615u);
  w.key("empty_object");
  w.begin_object();
  w.end_object();
  w.key("empty_array");
  w.begin_array();
  w.end_array();
  w.key("list");
  w.begin_array();
  w.begin_object();
  w.key("id");
  w.number(0);
  w.end_object();
  w.string("s");
  w.begin_array();
  w.null();
  w.end_array();
  w.end_array();
  w.key("nested");
  w.begin_object();
  w.key("k");
  w.optional_string(std::optional<std::string>{});
  w.end_object();
  w.end_object();
  EXPECT_EQ(w.text(),
            "{\n"
            "  \"a\": \"x\",\n"
            "  \"b\": null,\n"
            "  \"n\": 18446744073709551615,\n"
            "  \"empty_object\": {},\n"
            "  \"empty_array\": [],\n"
            "  \"list\": [\n"
            "    {\n"
            "      \"id\": 0\n"
            "    },\n"
            "    \"s\",\n"
            "    [\n"
            "      null\n"
            "    ]\n"
            "  ],\n"
            "  \"nested\": {\n"
            "    \"k\": null\n"
            "  }\n"
            "}");
}

TEST(JsonWriter, AnEmptyOuterObjectIsTwoBraces) {
  JsonWriter w;
  w.begin_object();
  w.end_object();
  EXPECT_EQ(w.text(), "{}");
}

}  // namespace
}  // namespace ostrane
