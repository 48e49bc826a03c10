#pragma once
// The real laptop identities of data/identities-sample.tsv, turned back into the
// SMBIOS tables they were printed from.

#include <array>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "testing/smbios_table_builder.h"

namespace ostrane::testing {

// One row: the formatted lengths of the first type 0, 1 and 2 structures
// (absent when the report had none) and the texts as dmidecode printed them.
struct SampleIdentity {
  std::array<std::optional<int>, 3> lengths;
  std::string bios_vendor, bios_version, bios_release_date;
  std::string system_manufacturer, system_product_name, system_version, system_family;
  std::string baseboard_product;
};

// The rows of a tab-separated file after its line of column names, each
// split into its cells.
inline std::vector<std::vector<std::string>> read_tsv_rows(const std::string& path) {
  std::vector<std::vector<std::string>> rows;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  std::getline(in, line);  // column names
  while (std::getline(in, line)) {
    std::vector<std::string> cells;
    std::stringstream split(line);
    for (std::string cell; std::getline(split, cell, '\t');) cells.push_back(cell);
    rows.push_back(std::move(cells));
  }
  return rows;
}

// The parts of a table cell that lists several values, "-" for none.
inline std::vector<std::string> split_cell(const std::string& cell, char separator = '|') {
  std::vector<std::string> parts;
  if (cell == "-") return parts;
  for (std::size_t start = 0;;) {
    const std::size_t end = cell.find(separator, start);
    parts.push_back(cell.substr(start, end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

inline std::vector<SampleIdentity> load_sample_identities(const std::string& path) {
  std::vector<SampleIdentity> rows;
  for (std::vector<std::string> cells : read_tsv_rows(path)) {
    while (cells.size() < 11) cells.emplace_back();
    SampleIdentity row;
    for (int i = 0; i < 3; ++i) {
      if (!cells[i].empty()) row.lengths[i] = std::stoi(cells[i]);
    }
    row.bios_vendor = cells[3];
    row.bios_version = cells[4];
    row.bios_release_date = cells[5];
    row.system_manufacturer = cells[6];
    row.system_product_name = cells[7];
    row.system_version = cells[8];
    row.system_family = cells[9];
    row.baseboard_product = cells[10];
    rows.push_back(std::move(row));
  }
  return rows;
}

// The table a firmware would hold for `row`. dmidecode prints string number
// 0 as "Not Specified", so that text becomes no string at all; a field past
// the structure's length gets no string either.
inline ByteBuffer sample_smbios_table(const SampleIdentity& row, const std::string& serial = "SERIAL-0000") {
  struct Field {
    std::uint8_t offset;
    const std::string* text;
  };
  SmbiosTableBuilder table;
  const auto add = [&](std::uint8_t type, std::optional<int> length, std::vector<Field> fields) {
    if (!length) return;
    std::vector<std::uint8_t> area(static_cast<std::size_t>(*length - 4), 0);
    std::vector<std::string> strings;
    for (const Field& f : fields) {
      if (f.offset >= *length || f.text->empty() || *f.text == "Not Specified") continue;
      strings.push_back(*f.text);
      area[f.offset - 4u] = static_cast<std::uint8_t>(strings.size());
    }
    table.structure_with_area(type, area, strings);
  };
  add(0, row.lengths[0], {{0x04, &row.bios_vendor}, {0x05, &row.bios_version}, {0x08, &row.bios_release_date}});
  add(1, row.lengths[1],
      {{0x04, &row.system_manufacturer},
       {0x05, &row.system_product_name},
       {0x06, &row.system_version},
       {0x07, &serial},
       {0x1A, &row.system_family}});
  add(2, row.lengths[2], {{0x05, &row.baseboard_product}});
  table.end_of_table();
  return table.bytes();
}

}  // namespace ostrane::testing
