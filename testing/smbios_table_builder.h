#pragma once
// Crafted SMBIOS structure tables, for the tests and the benchmark.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "hal/smbios/firmware_table.h"

namespace ostrane::testing {

// A string field: where its string number sits in the formatted area, and
// the number written there.
struct StringRef {
  std::uint8_t offset;
  std::uint8_t number;
};

class SmbiosTableBuilder {
 public:
  // A formatted area of `length` bytes, zero but for the header and the
  // string numbers, then the string set made of `strings`. Each string must
  // be non-empty: an empty one would close the set early.
  SmbiosTableBuilder& structure(std::uint8_t type, std::uint8_t length, std::initializer_list<StringRef> refs = {},
                                const std::vector<std::string>& strings = {}) {
    std::vector<std::uint8_t> area(length < 4 ? 0 : length - 4u);
    for (const StringRef& ref : refs) area.at(ref.offset - 4u) = ref.number;
    return structure_with_area(type, area, strings, length);
  }

  // `area` is what follows the four header bytes. `length` is the formatted
  // length written in the header, normally 4 + area.size().
  SmbiosTableBuilder& structure_with_area(std::uint8_t type, std::span<const std::uint8_t> area,
                                          const std::vector<std::string>& strings, std::uint8_t length) {
    bytes_.push_back(type);
    bytes_.push_back(length);
    bytes_.push_back(static_cast<std::uint8_t>(next_handle_ & 0xFF));
    bytes_.push_back(static_cast<std::uint8_t>(next_handle_ >> 8));
    ++next_handle_;
    bytes_.insert(bytes_.end(), area.begin(), area.end());
    if (strings.empty()) bytes_.push_back(0);
    for (const std::string& s : strings) {
      bytes_.insert(bytes_.end(), s.begin(), s.end());
      bytes_.push_back(0);
    }
    bytes_.push_back(0);
    return *this;
  }

  SmbiosTableBuilder& structure_with_area(std::uint8_t type, std::span<const std::uint8_t> area,
                                          const std::vector<std::string>& strings = {}) {
    return structure_with_area(type, area, strings, static_cast<std::uint8_t>(4 + area.size()));
  }

  SmbiosTableBuilder& end_of_table() { return structure(127, 4); }

  // Bytes taken as they are, for what no well-formed structure holds.
  SmbiosTableBuilder& raw(std::string_view bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
  }

  std::size_t size() const { return bytes_.size(); }
  const ByteBuffer& bytes() const { return bytes_; }

 private:
  ByteBuffer bytes_;
  std::uint16_t next_handle_ = 0;
};

// A laptop firmware's table: BIOS, system, baseboard and chassis first, then
// the processor, caches, ports, slots, memory and vendor structures that make
// up the bulk of a real table, repeated until `min_size` bytes are reached.
inline ByteBuffer realistic_firmware_table(std::size_t min_size) {
  SmbiosTableBuilder t;
  t.structure(0, 26, {{0x04, 1}, {0x05, 2}, {0x08, 3}}, {"LENOVO", "N32ET86W (1.62 )", "07/18/2023"});
  t.structure(1, 27, {{0x04, 1}, {0x05, 2}, {0x06, 3}, {0x07, 4}, {0x19, 5}, {0x1A, 6}},
              {"LENOVO", "20XWCTO1WW", "ThinkPad X1 Carbon Gen 9", "PF2XXXXX",
               "LENOVO_MT_20XW_BU_Think_FM_ThinkPad X1 Carbon Gen 9", "ThinkPad X1 Carbon Gen 9"});
  t.structure(2, 15, {{0x04, 1}, {0x05, 2}, {0x06, 3}, {0x07, 4}, {0x08, 5}, {0x0A, 6}},
              {"LENOVO", "20XWCTO1WW", "SDK0J40697 WIN", "L1HF16Q00XX", "Not Available", "Not Available"});
  t.structure(3, 34, {{0x04, 1}, {0x06, 2}, {0x07, 3}, {0x08, 4}},
              {"LENOVO", "None", "PF2XXXXX", "No Asset Information"});
  t.structure(4, 48, {{0x04, 1}, {0x07, 2}, {0x10, 3}, {0x20, 4}, {0x21, 5}, {0x22, 6}},
              {"U3E1", "GenuineIntel", "11th Gen Intel(R) Core(TM) i7-1165G7 @ 2.80GHz", "None", "None", "None"});
  for (const char* cache : {"L1 Cache", "L1 Cache", "L2 Cache", "L3 Cache"}) t.structure(7, 27, {{0x04, 1}}, {cache});
  while (t.size() < min_size) {
    for (const auto& [internal, external] : {std::pair{"USB 1", "Left USB-C"},
                                             {"USB 2", "Right USB-A"},
                                             {"HDMI", "HDMI"},
                                             {"Audio", "Headphone/Microphone Combo Jack"}}) {
      t.structure(8, 9, {{0x04, 1}, {0x06, 2}}, {internal, external});
    }
    t.structure(9, 17, {{0x04, 1}}, {"M.2 Slot 1"});
    t.structure(11, 5, {{0x04, 4}}, {"Intel Corporation", "$LNV1PT0", "ME 15.0.35.1951", "FirmwareCapsule"});
    t.structure(12, 5, {{0x04, 2}}, {"Option 1", "Option 2"});
    t.structure(16, 23);
    for (int slot = 0; slot < 2; ++slot) {
      t.structure(17, 92, {{0x10, 1}, {0x11, 2}, {0x17, 3}, {0x18, 4}, {0x19, 5}, {0x1A, 6}},
                  {slot == 0 ? "ChannelA-DIMM0" : "ChannelB-DIMM0", slot == 0 ? "BANK 0" : "BANK 2", "Samsung",
                   "00000000", "None", "K4U6E3S4AA-MGCL"});
    }
    t.structure(19, 31);
    t.structure(20, 35);
    t.structure(41, 11, {{0x04, 1}}, {"Onboard IGD"});
    t.structure(221, 26, {{0x05, 1}, {0x0C, 2}, {0x13, 3}},
                {"Reference Code - CPU", "uCode Version", "TXT ACM version"});
    t.structure(130, 20);
    t.structure(131, 64, {}, {"TVT-Enablement"});
    t.structure(133, 5, {}, {"KHOIHGIUCCHHII"});
    t.structure(135, 19);
    t.structure(136, 6);
    t.structure(140, 47, {}, {"LENOVO"});
    t.structure(32, 20);
  }
  t.end_of_table();
  return t.bytes();
}

}  // namespace ostrane::testing
