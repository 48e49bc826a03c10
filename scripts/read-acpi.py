#!/usr/bin/env python3
"""Reads decompiled Lenovo ACPI tables and writes the facts the profiles use.

  scripts/read-acpi.py DIR > data/thinkpad-acpi.tsv
  scripts/read-acpi.py --lenovo DIR > data/lenovo-acpi.tsv

The first form reads ThinkPad tables, the second those of the other Lenovo
laptops (IdeaPad, Yoga, Legion...), whose interfaces live in another device;
both read the namespace the same way.

DIR holds one <hardware id>.dsl per report (every table of the machine in ASL,
as the linux-hardware.org ACPI collection prints them) and index.tsv (hwid,
collection_path, model). One row per dump, sorted by hardware id:

  hwid, model       the report, the model as the collection names it
  mtm               the first four characters of the model's last word
  firmware          "coreboot" when the DSDT's OEM id is coreboot's, which
                    names its objects its own way and is no evidence for
                    the vendor's firmware; else "vendor"
  dsdt_oem          the DSDT's OEM id
  ec                the path of every device whose _HID is PNP0C09
  mlcg, mlcs        whether HKEY under that EC has the method
  kblt              the path of every EC field named KBLT
  ucms              whether the method \\UCMS exists
  dytc              the path of the DYTC method under HKEY, or "-"
  dytc_revision     the revision its query (function 0) answers, in bits
                    28 to 31, when the code states it as constants; else "?"
  hkey              the path of the HKEY device under the EC
  hkey_methods      which of the methods that the Linux thinkpad_acpi driver
                    knows are declared under that HKEY (names, space-separated,
                    in the order of HKEY_METHODS): the full path is hkey.NAME
  ec_fields         the EC register fields of EC_FIELDS that a Field of an
                    EmbeddedControl region of the EC declares, as
                    NAME@OFFSET/WIDTH: the byte offset (".bit" after it when
                    the field does not start a byte) counted from Offset()
                    and the widths of the units before, and the width in bits
  wmi_guids         the GUID of every block that a _WDG buffer lists (upper
                    case, sorted), the WMI classes the firmware offers

With --lenovo, the columns are:

  hwid, model, firmware, dsdt_oem, ec, wmi_guids   as above
  mtm               the model's last word, when it is a machine type (four
                    letters or digits, the first a digit); else "-"
  product_number    the model's last word, when it is five digits (the older
                    laptops' product number); else "-"
  vpc               the path of every device whose _HID is "VPC2004"
  vpc_methods       which of VPC_METHODS that device declares
  gbmd_bits, hals_bits, cfg_bits
                    the bits (numbers, space-separated) that GBMD, HALS and
                    _CFG set from constants; a bit the code reads from the
                    embedded controller or computes is not seen
  sbmc_commands, sals_commands, kblc_commands
                    the constants (hexadecimal) that SBMC, SALS and KBLC
                    compare their argument with: the commands they take
  dytc              the path of DYTC under that device, or "-"
  dytc_revision     as above

A value that does not exist is "-"; several are joined with "|".
"""

import csv
import re
import sys
from pathlib import Path

# Battery charge control, microphone-mute LED, privacy screen, Fn lock, palm
# sensor, keyboard language, radios.
HKEY_METHODS = ["BCTG", "BCCS", "BCSG", "BCSS", "BDSG", "BDSS", "BICG", "BICS", "MMTS", "MMTG", "GSSS", "SSSS",
                "GMKS", "SMKS", "GPSS", "GSKL", "SSKL", "GBDC", "SBDC", "GWAN", "SWAN"]
# Fan level, fan speed, first temperature sensor.
EC_FIELDS = ["HFSP", "HSPD", "TMP0"]
# The configuration, battery modes, hotkey and lighting switches, keyboard
# backlight, command mailbox and thermal modes of the VPC2004 device.
VPC_METHODS = ["_CFG", "GBMD", "SBMC", "HALS", "SALS", "KBLC", "VPCR", "VPCW", "DYTC"]

OPENS_NAMESPACE = re.compile(r"^\s*(Scope|Device|Method|ThermalZone|PowerResource|Processor)\s*\(\s*([\\^A-Z0-9_.]+)")
FIELD = re.compile(r"^\s*(Field|IndexField|BankField)\s*\(\s*([\\^A-Z0-9_.]+)")
FIELD_UNIT = re.compile(r"^\s*([A-Z_][A-Z0-9_]{0,3})?\s*,\s*(\d+)")
FIELD_OFFSET = re.compile(r"^\s*Offset\s*\(\s*(0x[0-9A-Fa-f]+|\d+)\s*\)")
OPERATION_REGION = re.compile(r"^\s*OperationRegion\s*\(\s*([\\^A-Z0-9_.]+)\s*,\s*(\w+)")
WDG = re.compile(r"Name\s*\(\s*_WDG\s*,")
BYTE = re.compile(r"0x([0-9A-Fa-f]{2})\b")
DEFINITION_BLOCK = re.compile(r'^\s*DefinitionBlock\s*\(\s*"[^"]*"\s*,\s*"(\w+)"\s*,\s*\d+\s*,\s*"([^"]*)"')
EC_HID = re.compile(r'Name\s*\(\s*_HID\s*,\s*EisaId\s*\(\s*"PNP0C09"\s*\)')
VPC_HID = re.compile(r'Name\s*\(\s*_HID\s*,\s*"VPC2004"\s*\)')
NAMED_CONSTANT = re.compile(r"^\s*Name\s*\(\s*([A-Z_][A-Z0-9_]{0,3})\s*,\s*(0x[0-9A-Fa-f]+|\d+|One|Zero|Ones)\s*\)")


def resolve(scope, name):
    """The absolute path of `name` declared in `scope`."""
    if name.startswith("\\"):
        return "\\" + name[1:] if name != "\\" else "\\"
    parts = [] if scope == "\\" else scope[1:].split(".")
    while name.startswith("^"):
        parts = parts[:-1]
        name = name[1:]
    parts += [p for p in name.split(".") if p]
    return "\\" + ".".join(parts)


def strip_text(line):
    """The line without its comments and string literals, which may hold braces."""
    line = re.sub(r'"(?:[^"\\]|\\.)*"', '""', line)
    line = re.sub(r"/\*.*?\*/", "", line)
    return line.split("//", 1)[0]


class Namespace:
    def __init__(self):
        self.devices, self.methods, self.fields = set(), {}, set()
        self.ec_devices, self.vpc_devices, self.dsdt_oem = set(), set(), None
        self.constants = {}  # path -> the constant a Name is declared with
        self.regions = {}  # path -> address space
        self.layout = {}  # field path -> (region path, first bit, width)
        self.wdg = []  # the bytes of each _WDG buffer

    def region_of(self, scope, name):
        """The region a Field names: found in its scope or, for a single name, the nearest parent."""
        path = resolve(scope, name)
        if path in self.regions or "." in name or name.startswith(("\\", "^")):
            return path
        while scope != "\\":
            scope = scope.rsplit(".", 1)[0] if "." in scope else "\\"
            candidate = resolve(scope, name)
            if candidate in self.regions:
                return candidate
        return path

    def read(self, lines):
        stack = []  # (path, kind, region of a field list)
        pending = None
        bit = 0  # where the next unit of the open field list starts
        wdg = None  # the bytes of a _WDG buffer being read
        for number, raw in enumerate(lines):
            block = DEFINITION_BLOCK.match(raw)
            if block:
                if block.group(1) == "DSDT":
                    self.dsdt_oem = block.group(2).strip()
                stack, pending = [], ("\\", "scope", None)
            line = strip_text(raw)
            scope = stack[-1][0] if stack else "\\"
            match = OPENS_NAMESPACE.match(line)
            region = OPERATION_REGION.match(line)
            field = FIELD.match(line)
            if match:
                path = resolve(scope, match.group(2))
                kind = match.group(1).lower()
                pending = (path, kind, None)
                if kind == "device":
                    self.devices.add(path)
                elif kind == "method":
                    self.methods[path] = number
            elif region:
                self.regions[resolve(scope, region.group(1))] = region.group(2)
            elif field:
                pending = (scope, "field", self.region_of(scope, field.group(2)))
                bit = 0
            elif stack and stack[-1][1] == "field":
                offset = FIELD_OFFSET.match(line)
                unit = FIELD_UNIT.match(line)
                if offset:
                    bit = int(offset.group(1), 0) * 8
                elif unit:
                    width = int(unit.group(2))
                    if unit.group(1):
                        path = resolve(scope, unit.group(1))
                        self.fields.add(path)
                        self.layout[path] = (stack[-1][2], bit, width)
                    bit += width
            if WDG.search(line):
                wdg = []
            elif wdg is not None:
                # The bytes, without the offsets and the comments iasl adds.
                data = re.sub(r"/\*.*?\*/", "", raw).split("//", 1)[0]
                wdg += [int(b, 16) for b in BYTE.findall(data)]
                if "}" in line:
                    self.wdg.append(wdg)
                    wdg = None
            if stack and stack[-1][1] == "device" and EC_HID.search(raw):
                self.ec_devices.add(stack[-1][0])
            if stack and stack[-1][1] == "device" and VPC_HID.search(raw):
                self.vpc_devices.add(stack[-1][0])
            named = NAMED_CONSTANT.match(line)
            if named:
                self.constants[resolve(scope, named.group(1))] = constant(named.group(2))
            for char in line:
                if char == "{":
                    stack.append(pending if pending else (scope, "block", None))
                    pending = None
                elif char == "}" and stack:
                    stack.pop()
        return self

    def ec_fields(self, ec):
        """The watched fields of the EmbeddedControl regions of `ec`, as NAME@OFFSET/WIDTH."""
        found = {}
        for path, (region, bit, width) in self.layout.items():
            name = path.rsplit(".", 1)[-1]
            if name not in EC_FIELDS or not region or not region.startswith(ec + "."):
                continue
            if self.regions.get(region) not in ("EmbeddedControl", "0x03"):
                continue
            offset = f"0x{bit // 8:02X}" + (f".{bit % 8}" if bit % 8 else "")
            found.setdefault(name, set()).add(f"{name}@{offset}/{width}")
        return [unit for name in EC_FIELDS for unit in sorted(found.get(name, ()))]


def guid_text(data):
    """A GUID as Windows writes it: the first three groups little-endian."""
    first = int.from_bytes(data[0:4], "little")
    second = int.from_bytes(data[4:6], "little")
    third = int.from_bytes(data[6:8], "little")
    return f"{first:08X}-{second:04X}-{third:04X}-{data[8:10].hex().upper()}-{data[10:16].hex().upper()}"


def wmi_guids(buffers):
    """Every block of every _WDG buffer: 16 bytes of GUID, then 4 of object id, instances and flags."""
    return sorted({guid_text(bytes(buf[i:i + 16])) for buf in buffers for i in range(0, len(buf) - 19, 20)})


def constant(text):
    """The value of an ASL integer constant."""
    return {"One": 1, "Zero": 0, "Ones": 0xFFFFFFFFFFFFFFFF}.get(text) if not text[0].isdigit() else int(text, 0)


def method_body(lines, start):
    """The lines of the method declared on line `start`, without comments and strings."""
    depth, body = 0, []
    for raw in lines[start:]:
        line = strip_text(raw)
        body.append(line)
        depth += line.count("{") - line.count("}")
        if depth == 0 and "}" in line:
            break
    return body


CONST = r"(0x[0-9A-Fa-f]+|\d+|One|Zero)"
SET_FROM_CONSTANT = [re.compile(p) for p in (
    rf"\b(Local\d)\s*\|?=\s*{CONST}\s*$",  # Local0 = 0x10, Local0 |= 0x20
    rf"\b(Local\d)\s*=\s*\(\s*Local\d\s*\|\s*{CONST}\s*\)",  # Local0 = (Local0 | 0x20)
    rf"\bOr\s*\(\s*(Local\d)\s*,\s*{CONST}\s*,",  # Or (Local0, 0x20, Local0)
    rf"\b(Store)\s*\(\s*{CONST}\s*,\s*Local\d\s*\)",
    rf"\b(Return)\s*\(\s*{CONST}\s*\)",
)]


def bits_set(body):
    """The bit numbers that constants set into the method's locals or its result."""
    value = 0
    for line in body:
        for pattern in SET_FROM_CONSTANT:
            for match in pattern.finditer(line.strip()):
                value |= constant(match.group(2))
    return [bit for bit in range(64) if value >> bit & 1]


def commands(body):
    """The constants that the method compares its argument with, or a local copied from it."""
    names = {"Arg0"}
    for line in body:
        copied = re.search(r"\b(Local\d|_T_\d)\s*=\s*(?:ToInteger\s*\(\s*)?Arg0\b", line)
        stored = re.search(r"\b(?:Store|ToInteger)\s*\(\s*Arg0\s*,\s*(Local\d)\s*\)", line)
        names |= {found.group(1) for found in (copied, stored) if found}
    subject = "(?:" + "|".join(re.escape(n) for n in sorted(names)) + ")"
    # Arg0, or Arg0 masked as KBLC does: ((Arg0 & 0x0F) == 0x02).
    operand = rf"(?:\(\s*{subject}\s*&\s*{CONST}\s*\)|{subject})"
    value = CONST.replace("(", "(?P<c>", 1)
    patterns = [rf"\(\s*{operand}\s*==\s*{value}\s*\)", rf"\(\s*{value}\s*==\s*{operand}\s*\)",
                rf"LEqual\s*\(\s*{operand}\s*,\s*{value}\s*\)", rf"LEqual\s*\(\s*{value}\s*,\s*{operand}\s*\)"]
    text = "\n".join(body)
    found = {constant(m.group("c")) for pattern in patterns for m in re.finditer(pattern, text)}
    if re.search(rf"Switch\s*\((?:\s*ToInteger\s*\()?\s*{subject}\b", text):
        found |= {constant(c) for c in re.findall(rf"Case\s*\(\s*{CONST}\s*\)", text)}
    return sorted(found)


def config_bits(ns, lines, path):
    """The bits _CFG sets from constants, with those of the Name it returns when nothing writes that Name."""
    body = method_body(lines, ns.methods[path])
    bits = set(bits_set(body))
    device = path.rsplit(".", 1)[0]
    for line in body:
        returned = re.search(r"Return\s*\(\s*([A-Z_][A-Z0-9_]{0,3})\s*\)", line)
        if not returned or returned.group(1).startswith("Local"):
            continue
        name = returned.group(1)
        written = any(re.search(rf"\b{name}\s*=(?!=)", other) or re.search(rf"Store\s*\([^,]*,\s*{name}\s*\)", other)
                      for other in body)
        if not written and resolve(device, name) in ns.constants:
            value = ns.constants[resolve(device, name)]
            bits |= {bit for bit in range(64) if value >> bit & 1}
    return sorted(bits)


def dytc_revision(lines, start):
    """Bits 28 to 31 of what the query case sets, when they are constants."""
    text = "\n".join(method_body(lines, start))
    case = re.search(r"Case\s*\(\s*(?:0x00|Zero)\s*\)\s*\{(.*?)\}", text, re.S)
    if not case:
        return "?"
    value = 0
    for statement in case.group(1).splitlines():
        statement = statement.strip()
        if not statement:
            continue
        m = re.fullmatch(r"Local1\s*(\|?=)\s*(.+)", statement)
        if not m:
            if "Local1" in statement:
                return "?"
            continue  # another object set on the way
        term = m.group(2).strip()
        shifted = re.fullmatch(r"\(\s*(0x[0-9A-Fa-f]+|One|Zero)\s*<<\s*(0x[0-9A-Fa-f]+)\s*\)", term)
        if shifted:
            number = {"One": 1, "Zero": 0}.get(shifted.group(1))
            number = int(shifted.group(1), 16) if number is None else number
            term_value = number << int(shifted.group(2), 16)
        elif term in ("One", "Zero"):
            term_value = 1 if term == "One" else 0
        elif re.fullmatch(r"0x[0-9A-Fa-f]+", term):
            term_value = int(term, 16)
        else:
            return "?"
        value = term_value if m.group(1) == "=" else value | term_value
    return str((value >> 28) & 0xF)


def facts(path, hwid, model):
    lines = path.read_text(encoding="utf-8", errors="replace").splitlines()
    ns = Namespace().read(lines)
    ecs = sorted(ns.ec_devices)
    hkeys = [ec + ".HKEY" for ec in ecs if ec + ".HKEY" in ns.devices]
    has = lambda name: "yes" if any(h + "." + name in ns.methods for h in hkeys) else "no"
    dytc = [h + ".DYTC" for h in hkeys if h + ".DYTC" in ns.methods]
    revision = dytc_revision(lines, ns.methods[dytc[0]]) if dytc else "-"
    kblt = sorted(f for f in ns.fields if f.endswith(".KBLT"))
    methods = [m for m in HKEY_METHODS if any(h + "." + m in ns.methods for h in hkeys)]
    fields = [unit for ec in ecs for unit in ns.ec_fields(ec)]
    guids = wmi_guids(ns.wdg)
    return {
        "hwid": hwid,
        "model": model,
        "mtm": model.split()[-1][:4].upper(),
        "firmware": "coreboot" if (ns.dsdt_oem or "").upper().startswith("CORE") else "vendor",
        "dsdt_oem": ns.dsdt_oem or "?",
        "ec": "|".join(ecs) or "-",
        "mlcg": has("MLCG"),
        "mlcs": has("MLCS"),
        "kblt": "|".join(kblt) or "-",
        "ucms": "yes" if "\\UCMS" in ns.methods else "no",
        "dytc": "|".join(dytc) or "-",
        "dytc_revision": revision,
        "hkey": "|".join(hkeys) or "-",
        "hkey_methods": " ".join(methods) or "-",
        "ec_fields": " ".join(fields) or "-",
        "wmi_guids": "|".join(guids) or "-",
    }


def last_word(model, shape):
    word = model.split()[-1] if model.split() else ""
    return word.upper() if re.fullmatch(shape, word) else "-"


def lenovo_facts(path, hwid, model):
    lines = path.read_text(encoding="utf-8", errors="replace").splitlines()
    ns = Namespace().read(lines)
    vpcs = sorted(ns.vpc_devices)
    has = lambda name: [v + "." + name for v in vpcs if v + "." + name in ns.methods]
    joined = lambda values, form: " ".join(form(v) for v in values) or "-"

    def read(name, how, form):
        found = has(name)
        return joined(sorted({v for p in found for v in how(method_body(lines, ns.methods[p]))}), form) if found else "-"

    cfg = has("_CFG")
    dytc = has("DYTC")
    return {
        "hwid": hwid,
        "model": model,
        "mtm": last_word(model, r"[0-9][0-9A-Za-z]{3}"),
        "product_number": last_word(model, r"[0-9]{5}"),
        "firmware": "coreboot" if (ns.dsdt_oem or "").upper().startswith("CORE") else "vendor",
        "dsdt_oem": ns.dsdt_oem or "?",
        "ec": "|".join(sorted(ns.ec_devices)) or "-",
        "vpc": "|".join(vpcs) or "-",
        "vpc_methods": " ".join(m for m in VPC_METHODS if has(m)) or "-",
        "gbmd_bits": read("GBMD", bits_set, str),
        "sbmc_commands": read("SBMC", commands, lambda v: f"0x{v:02X}"),
        "hals_bits": read("HALS", bits_set, str),
        "sals_commands": read("SALS", commands, lambda v: f"0x{v:02X}"),
        "kblc_commands": read("KBLC", commands, lambda v: f"0x{v:02X}"),
        "cfg_bits": joined(sorted({b for p in cfg for b in config_bits(ns, lines, p)}), str) if cfg else "-",
        "dytc": "|".join(dytc) or "-",
        "dytc_revision": dytc_revision(lines, ns.methods[dytc[0]]) if dytc else "-",
        "wmi_guids": "|".join(wmi_guids(ns.wdg)) or "-",
    }


LENOVO_COLUMNS = ["hwid", "model", "mtm", "product_number", "firmware", "dsdt_oem", "ec", "vpc", "vpc_methods",
                  "gbmd_bits", "sbmc_commands", "hals_bits", "sals_commands", "kblc_commands", "cfg_bits", "dytc",
                  "dytc_revision", "wmi_guids"]
COLUMNS = ["hwid", "model", "mtm", "firmware", "dsdt_oem", "ec", "mlcg", "mlcs", "kblt", "ucms", "dytc", "dytc_revision",
           "hkey", "hkey_methods", "ec_fields", "wmi_guids"]


def main(argv):
    lenovo = argv[1:2] == ["--lenovo"]
    if len(argv) != 2 + lenovo:
        print(__doc__, file=sys.stderr)
        return 2
    folder = Path(argv[-1])
    with open(folder / "index.tsv", encoding="utf-8", newline="") as f:
        index = list(csv.DictReader(f, delimiter="\t"))
    read, columns = (lenovo_facts, LENOVO_COLUMNS) if lenovo else (facts, COLUMNS)
    out = csv.DictWriter(sys.stdout, columns, delimiter="\t", lineterminator="\n")
    out.writeheader()
    for row in sorted(index, key=lambda r: r["hwid"]):
        out.writerow(read(folder / f"{row['hwid']}.dsl", row["hwid"], row["model"]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
