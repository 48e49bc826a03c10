#include "hal/smbios/parse_smbios.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "testing/smbios_table_builder.h"

namespace ostrane {

void PrintTo(const SmbiosRecord& r, std::ostream* os) {
  const auto field = [&](std::string_view name, const std::optional<std::string>& v) {
    *os << name << '=' << (v ? '"' + *v + '"' : std::string("absent")) << ' ';
  };
  field("bios_vendor", r.bios_vendor);
  field("bios_version", r.bios_version);
  field("bios_release_date", r.bios_release_date);
  field("system_manufacturer", r.system_manufacturer);
  field("system_product_name", r.system_product_name);
  field("system_version", r.system_version);
  field("system_family", r.system_family);
  field("system_serial_number", r.system_serial_number);
  field("baseboard_product", r.baseboard_product);
}

void PrintTo(const HalError& e, std::ostream* os) { *os << display(e); }

namespace {

using namespace std::string_view_literals;

using testing::SmbiosTableBuilder;
using Outcome = std::expected<SmbiosRecord, HalError>;
using Field = std::optional<std::string> SmbiosRecord::*;

ByteBuffer bytes_of(std::string_view s) { return ByteBuffer(s.begin(), s.end()); }

ByteBuffer concat(std::initializer_list<ByteBuffer> parts) {
  ByteBuffer out;
  for (const ByteBuffer& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

HalError bad_structure_at(std::size_t offset) {
  return HalError::invalid_data("structure SMBIOS invalide à l'offset " + std::to_string(offset));
}
HalError unterminated() { return HalError::invalid_data("section de chaînes SMBIOS non terminée"); }

std::string describe(const Outcome& o) {
  return o ? ::testing::PrintToString(*o) : "error: " + ::testing::PrintToString(o.error());
}

void expect_outcome(const ByteBuffer& table, const Outcome& expected, std::string_view name) {
  const Outcome actual = parse_smbios(table);
  EXPECT_TRUE(actual == expected) << name << "\n  actual:   " << describe(actual)
                                  << "\n  expected: " << describe(expected);
}

// Structures used as building blocks by the cases below.
ByteBuffer bios(std::string_view vendor) {
  return SmbiosTableBuilder()
      .structure(0, 26, {{0x04, 1}, {0x05, 2}, {0x08, 3}}, {std::string(vendor), "1.0", "01/02/2023"})
      .bytes();
}
ByteBuffer system_info(std::string_view maker) {
  return SmbiosTableBuilder()
      .structure(1, 27, {{0x04, 1}, {0x05, 2}, {0x06, 3}, {0x07, 4}, {0x1A, 5}},
                 {std::string(maker), "21CB", "ThinkPad T14", "PF3", "ThinkPad"})
      .bytes();
}
ByteBuffer baseboard(std::string_view product) {
  return SmbiosTableBuilder().structure(2, 15, {{0x05, 1}}, {std::string(product)}).bytes();
}
ByteBuffer end_of_table() { return SmbiosTableBuilder().end_of_table().bytes(); }
ByteBuffer other(std::uint8_t type) {
  return SmbiosTableBuilder().structure(type, 9, {{0x04, 1}, {0x06, 2}}, {"J1", "USB 3.2"}).bytes();
}

SmbiosRecord bios_record(std::string_view vendor) {
  return {.bios_vendor = std::string(vendor), .bios_version = "1.0", .bios_release_date = "01/02/2023"};
}
SmbiosRecord full_record(std::string_view vendor, std::string_view maker, std::string_view board) {
  SmbiosRecord r = bios_record(vendor);
  r.system_manufacturer = std::string(maker);
  r.system_product_name = "21CB";
  r.system_version = "ThinkPad T14";
  r.system_serial_number = "PF3";
  r.system_family = "ThinkPad";
  r.baseboard_product = std::string(board);
  return r;
}

TEST(ParseSmbios, TableTooShortForAStructureHeaderGivesAnEmptyRecord) {
  for (std::string_view table : {std::string_view(), "\x00"sv, "\x00\x02"sv, "\x01\x1B\x00"sv, "\x7F\xFF\xFF"sv}) {
    expect_outcome(bytes_of(table), SmbiosRecord{}, "table of " + std::to_string(table.size()) + " bytes");
  }
}

TEST(ParseSmbios, WalksTheTableAsStructuresFollowedByTheirStringSets) {
  struct Case {
    std::string_view name;
    ByteBuffer table;
    Outcome expected;
  };
  const Case cases[] = {
      {"all three types, end marker",
       concat({bios("Dell Inc."), system_info("Dell"), baseboard("0X8DXD"), end_of_table()}),
       full_record("Dell Inc.", "Dell", "0X8DXD")},
      {"no end-of-table structure is needed", concat({bios("Dell Inc."), system_info("Dell"), baseboard("0X8DXD")}),
       full_record("Dell Inc.", "Dell", "0X8DXD")},
      {"types in any order, among other types",
       concat({other(4), baseboard("B"), other(7), system_info("HP"), other(17), bios("Insyde")}),
       full_record("Insyde", "HP", "B")},
      {"one stray byte after the last structure", concat({bios("AMI"), bytes_of("\x01")}), bios_record("AMI")},
      {"two stray bytes", concat({bios("AMI"), bytes_of("\x00\x00"sv)}), bios_record("AMI")},
      {"three stray bytes that look like a bad header", concat({bios("AMI"), bytes_of("\x01\x02\xFF")}),
       bios_record("AMI")},
      {"end of table stops the walk", concat({bios("AMI"), end_of_table(), system_info("HP")}), bios_record("AMI")},
      {"nothing after the end of table is examined",
       concat({bios("AMI"), end_of_table(), bytes_of("\x01\x02\x00\x00"sv)}), bios_record("AMI")},
      {"end of table with strings of its own",
       concat({bios("AMI"), SmbiosTableBuilder().structure(127, 4, {}, {"tail"}).bytes(), system_info("HP")}),
       bios_record("AMI")},
      {"second BIOS structure is ignored", concat({bios("First"), bios("Second")}), bios_record("First")},
      {"second system structure is ignored", concat({system_info("First"), system_info("Second")}),
       SmbiosRecord{.system_manufacturer = "First",
                    .system_product_name = "21CB",
                    .system_version = "ThinkPad T14",
                    .system_family = "ThinkPad",
                    .system_serial_number = "PF3"}},
      {"second baseboard structure is ignored", concat({baseboard("First"), baseboard("Second")}),
       SmbiosRecord{.baseboard_product = "First"}},
      {"a first BIOS structure of length 4 still counts as the one",
       concat({SmbiosTableBuilder().structure(0, 4, {}, {"Hidden"}).bytes(), bios("Second")}), SmbiosRecord{}},
      {"a first system structure of length 4 still counts as the one",
       concat({SmbiosTableBuilder().structure(1, 4).bytes(), system_info("Second")}), SmbiosRecord{}},
      {"a first system structure with every string number 0 still counts",
       concat({SmbiosTableBuilder().structure(1, 27).bytes(), system_info("Second")}), SmbiosRecord{}},
      {"a first baseboard whose string is blank still counts",
       concat({SmbiosTableBuilder().structure(2, 15, {{0x05, 1}}, {"   "}).bytes(), baseboard("Second")}),
       SmbiosRecord{}},
      {"zero bytes inside the formatted area do not end the string set",
       concat({SmbiosTableBuilder().structure(200, 40, {}, {"OEM"}).bytes(), bios("AMI")}), bios_record("AMI")},
      {"structure without strings, referencing string 1", SmbiosTableBuilder().structure(2, 15, {{0x05, 1}}).bytes(),
       SmbiosRecord{}},
      {"string set that begins with a single NUL has an empty string 1",
       SmbiosTableBuilder().raw("\x01\x08\x00\x00\x01\x02\x00\x00"sv).raw("\0Second\0\0"sv).bytes(),
       SmbiosRecord{.system_product_name = "Second"}},
      {"string numbers count within their own structure only",
       concat({SmbiosTableBuilder().structure(11, 5, {{0x04, 5}}, {"a", "b", "c", "d", "e"}).bytes(),
               SmbiosTableBuilder().structure(1, 8, {{0x04, 1}, {0x05, 3}}, {"Only"}).bytes()}),
       SmbiosRecord{.system_manufacturer = "Only"}},
      {"several fields may share one string",
       SmbiosTableBuilder().structure(0, 26, {{0x04, 1}, {0x05, 1}, {0x08, 1}}, {"Same"}).bytes(),
       SmbiosRecord{.bios_vendor = "Same", .bios_version = "Same", .bios_release_date = "Same"}},
      {"header-only table", bytes_of("\x7F\x04\x00\x00"sv), std::unexpected(unterminated())},
      {"formatted length 3 at offset 40",
       concat(
           {SmbiosTableBuilder().structure(200, 30, {}, {"ABCDEFGH"}).bytes(), bytes_of("\x01\x03\x00\x00\x00\x00"sv)}),
       std::unexpected(bad_structure_at(40))},
      {"formatted length 0 at offset 0", bytes_of("\x00\x00\x00\x00\x00\x00"sv), std::unexpected(bad_structure_at(0))},
      {"formatted area running past the table end",
       concat({bios("AMI"), bytes_of("\x01\x1B\x00\x00\x00\x00\x00\x00"sv)}),
       std::unexpected(bad_structure_at(bios("AMI").size()))},
      {"formatted area ending exactly at the table end", bytes_of("\x01\x08\x00\x00\x01\x02\x03\x04"sv),
       std::unexpected(unterminated())},
      {"formatted area ending one byte before the table end", bytes_of("\x01\x04\x00\x00\x00"sv),
       std::unexpected(unterminated())},
      {"strings running to the table end", bytes_of("\x00\x05\x00\x00\x01Vendor\0Version\0"sv),
       std::unexpected(unterminated())},
      {"a final single NUL is not a double NUL", bytes_of("\x00\x05\x00\x00\x01Vendor\0"sv),
       std::unexpected(unterminated())},
      {"end of table must still have its string set closed", concat({bios("AMI"), bytes_of("\x7F\x04\x00\x00\x00"sv)}),
       std::unexpected(unterminated())},
      {"an error after a good structure gives no partial record",
       concat({bios("AMI"), bytes_of("\x01\x02\x00\x00\x00\x00"sv)}),
       std::unexpected(bad_structure_at(bios("AMI").size()))},
  };
  for (const Case& c : cases) expect_outcome(c.table, c.expected, c.name);
}

TEST(ParseSmbios, FieldIsReadOnlyWhenTheFormattedAreaHoldsItsOffset) {
  struct Case {
    std::string_view name;
    std::uint8_t type;
    std::uint8_t offset;
    Field field;
  };
  const Case cases[] = {
      {"bios_vendor", 0, 0x04, &SmbiosRecord::bios_vendor},
      {"bios_version", 0, 0x05, &SmbiosRecord::bios_version},
      {"bios_release_date", 0, 0x08, &SmbiosRecord::bios_release_date},
      {"system_manufacturer", 1, 0x04, &SmbiosRecord::system_manufacturer},
      {"system_product_name", 1, 0x05, &SmbiosRecord::system_product_name},
      {"system_version", 1, 0x06, &SmbiosRecord::system_version},
      {"system_serial_number", 1, 0x07, &SmbiosRecord::system_serial_number},
      {"system_family", 1, 0x1A, &SmbiosRecord::system_family},
      {"baseboard_product", 2, 0x05, &SmbiosRecord::baseboard_product},
  };
  for (const Case& c : cases) {
    for (const int length : {4, int{c.offset}, c.offset + 1, c.offset + 8}) {
      // Every byte after the header is string number 1, so the length alone
      // decides which fields exist; the string itself starts with 01h, so a
      // field read from past the formatted area would be found too.
      const std::vector<std::uint8_t> area(static_cast<std::size_t>(length - 4), 1);
      const ByteBuffer table = SmbiosTableBuilder().structure_with_area(c.type, area, {"\x01Value"}).bytes();
      const Outcome actual = parse_smbios(table);
      ASSERT_TRUE(actual) << c.name << " length " << length << ": " << display(actual.error());
      const std::optional<std::string> expected =
          length > c.offset ? std::optional<std::string>("\x01Value") : std::nullopt;
      EXPECT_EQ((*actual).*c.field, expected) << c.name << " length " << length;
    }
  }
}

TEST(ParseSmbios, SystemStructureGivesFamilyFromLength27Only) {
  for (std::uint8_t length = 4; length <= 30; ++length) {
    std::vector<std::uint8_t> area(length - 4u, 0);
    for (std::size_t offset : {0x04, 0x05, 0x06, 0x07, 0x1A}) {
      if (offset < length) area[offset - 4] = static_cast<std::uint8_t>(offset == 0x1A ? 5 : offset - 3);
    }
    const ByteBuffer table =
        SmbiosTableBuilder().structure_with_area(1, area, {"Maker", "Product", "Version", "Serial", "Family"}).bytes();
    const auto present_from = [&](std::uint8_t min_length, const char* text) {
      return length >= min_length ? std::optional<std::string>(text) : std::nullopt;
    };
    const SmbiosRecord expected{.system_manufacturer = present_from(5, "Maker"),
                                .system_product_name = present_from(6, "Product"),
                                .system_version = present_from(7, "Version"),
                                .system_family = present_from(27, "Family"),
                                .system_serial_number = present_from(8, "Serial")};
    expect_outcome(table, expected, "type 1 of length " + std::to_string(length));
  }
}

TEST(ParseSmbios, StringNumberOutsideTheStringSetLeavesTheFieldAbsent) {
  struct Case {
    std::uint8_t number;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {0, std::nullopt}, {1, "One"},        {2, "Two"},          {3, "Three"},
      {4, std::nullopt}, {5, std::nullopt}, {255, std::nullopt},
  };
  for (const Case& c : cases) {
    const ByteBuffer table = SmbiosTableBuilder().structure(2, 15, {{0x05, c.number}}, {"One", "Two", "Three"}).bytes();
    expect_outcome(table, SmbiosRecord{.baseboard_product = c.expected}, "string number " + std::to_string(c.number));
  }
}

TEST(ParseSmbios, StringsAreDecodedLossilyAndTrimmedOfUnicodeWhiteSpace) {
  struct Case {
    std::string_view name;
    std::string_view raw;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"plain", "ThinkPad X1", "ThinkPad X1"},
      {"letter case kept", "tHiNkPaD", "tHiNkPaD"},
      {"two spaces at each end", "  HP EliteBook  ", "HP EliteBook"},
      {"inner spaces kept", "HP  Pavilion \t 15", "HP  Pavilion \t 15"},
      {"only spaces", "    ", std::nullopt},
      {"only tabs", "\t\t", std::nullopt},
      {"only no-break spaces", "\xC2\xA0\xC2\xA0", std::nullopt},
      {"mixed white space", " \t\r\n\v\f\xC2\x85\xE2\x80\x83\xE3\x80\x80", std::nullopt},
      {"ideographic and narrow no-break spaces around", "\xE3\x80\x80X\xE2\x80\xAF", "X"},
      {"zero-width space is kept", "\xE2\x80\x8BX", "\xE2\x80\x8BX"},
      {"valid UTF-8 kept", "Soci\xC3\xA9t\xC3\xA9", "Soci\xC3\xA9t\xC3\xA9"},
      {"invalid byte replaced", "Acer\xFF", "Acer\xEF\xBF\xBD"},
      {"Latin-1 no-break space is invalid, not white space", "\xA0", "\xEF\xBF\xBD"},
      {"truncated sequence at the end", "Ab\xC3", "Ab\xEF\xBF\xBD"},
      {"surrogate encoding, one replacement per byte", "\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"overlong form", "\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"replacement between white space", " \xFF ", "\xEF\xBF\xBD"},
  };
  for (const Case& c : cases) {
    // The tested string is string 2, so that splitting is exercised too.
    SmbiosTableBuilder t;
    t.raw("\x01\x08\x00\x00\x01\x02\x00\x00"sv).raw("First");
    t.raw("\0"sv).raw(c.raw).raw("\0\0"sv);
    expect_outcome(t.bytes(), SmbiosRecord{.system_manufacturer = "First", .system_product_name = c.expected}, c.name);
  }
}

TEST(ParseSmbios, ReadsTheNineFieldsOfARealisticTable) {
  const ByteBuffer table = testing::realistic_firmware_table(64 * 1024);
  ASSERT_GE(table.size(), 64u * 1024);
  const SmbiosRecord expected{.bios_vendor = "LENOVO",
                              .bios_version = "N32ET86W (1.62 )",
                              .bios_release_date = "07/18/2023",
                              .system_manufacturer = "LENOVO",
                              .system_product_name = "20XWCTO1WW",
                              .system_version = "ThinkPad X1 Carbon Gen 9",
                              .system_family = "ThinkPad X1 Carbon Gen 9",
                              .system_serial_number = "PF2XXXXX",
                              .baseboard_product = "20XWCTO1WW"};
  expect_outcome(table, expected, "realistic table");
}

TEST(ParseSmbios, ErrorOffsetIsThatOfTheBadStructureDeepInTheTable) {
  ByteBuffer table = testing::realistic_firmware_table(8 * 1024);
  // Drop the end-of-table structure and put a bad header in its place.
  table.resize(table.size() - 6);
  const std::size_t bad_at = table.size();
  for (const int b : {0x11, 0x02, 0x00, 0x00, 0x00, 0x00}) table.push_back(static_cast<std::uint8_t>(b));
  expect_outcome(table, std::unexpected(bad_structure_at(bad_at)),
                 "bad header after " + std::to_string(bad_at) + " bytes");
}

}  // namespace
}  // namespace ostrane
