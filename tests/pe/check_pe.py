#!/usr/bin/python3
"""Reads the built ostrane.exe back and checks what Windows will see of it.

Modes:
  imports  every imported DLL ships with Windows (no MinGW runtime DLL), and
           none is one that the program loads at run time instead
  version  the VS_VERSIONINFO resource: fixed versions and French strings
  icon     the icon group (ID 1) holds 16, 32, 48 and 256 px, all present
  tamper   the three checks reject copies of the file with one thing changed
  skip     prints SKIPPED with the given reason and exits with SKIP_CODE

The PE file is parsed here with struct alone, so that the test does not
depend on the tools that produced the file.
"""

import fnmatch
import struct
import sys

SKIP_CODE = 77

EXPECTED_VERSION = (2, 2, 1, 0)
EXPECTED_STRINGS = {
    "ProductName": "Ostrane",
    "FileDescription": "Ostrane : interface en ligne de commande",
    "FileVersion": "2.2.1",
    "ProductVersion": "2.2.1",
    "OriginalFilename": "ostrane.exe",
}
# French (0x040C), Unicode code page 1200.
EXPECTED_LANGUAGE = 0x040C
EXPECTED_CODEPAGE = 1200
EXPECTED_TABLE = "040C04B0"
EXPECTED_ICON_SIZES = [16, 32, 48, 256]

# DLLs present on every Windows 10 and 11 installation.
SYSTEM_DLLS = {
    "kernel32.dll", "kernelbase.dll", "ntdll.dll", "advapi32.dll",
    "user32.dll", "gdi32.dll", "shell32.dll", "shlwapi.dll", "ole32.dll",
    "oleaut32.dll", "ws2_32.dll", "bcrypt.dll", "crypt32.dll",
    "secur32.dll", "userenv.dll", "version.dll", "setupapi.dll", "hid.dll",
    "cfgmgr32.dll", "rpcrt4.dll", "psapi.dll", "dbghelp.dll",
    "msvcrt.dll", "ucrtbase.dll",
}
# API sets (the Universal CRT among them) are part of Windows 10 and later.
SYSTEM_DLL_PATTERNS = ["api-ms-win-*.dll"]
# DLLs that only some commands need: they are loaded when one of those runs
# (advapi32.dll by the service commands), since an import would make every
# start of the program pay for them and for what they import in turn.
RUN_TIME_DLLS = {"advapi32.dll"}
# Runtime DLLs of MinGW-w64, which a static link must have absorbed.
MINGW_RUNTIME_DLLS = {
    "libstdc++-6.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll",
}

RT_ICON = 3
RT_VERSION = 16
RT_GROUP_ICON = 14
VS_FIXEDFILEINFO_SIGNATURE = 0xFEEF04BD
VFT_APP = 1
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


class PEError(Exception):
    """The file is not the PE32+ image it should be."""


def u16(data, off):
    if off < 0 or off + 2 > len(data):
        raise PEError(f"read past the end of the file at 0x{off:x}")
    return struct.unpack_from("<H", data, off)[0]


def u32(data, off):
    if off < 0 or off + 4 > len(data):
        raise PEError(f"read past the end of the file at 0x{off:x}")
    return struct.unpack_from("<I", data, off)[0]


class PE:
    """The parts of a PE32+ image that the checks need."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise PEError("no MZ signature")
        pe = u32(data, 0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise PEError("no PE signature")
        coff = pe + 4
        machine = u16(data, coff)
        if machine != 0x8664:
            raise PEError(f"machine 0x{machine:04x}, expected x86-64 (0x8664)")
        section_count = u16(data, coff + 2)
        optional_size = u16(data, coff + 16)
        opt = coff + 20
        magic = u16(data, opt)
        if magic != 0x20B:
            raise PEError(f"optional header magic 0x{magic:x}, expected PE32+ (0x20b)")
        directory_count = u32(data, opt + 108)
        self.directories = []
        for i in range(min(directory_count, 16)):
            self.directories.append((u32(data, opt + 112 + 8 * i),
                                     u32(data, opt + 116 + 8 * i)))
        self.sections = []
        sec = opt + optional_size
        for i in range(section_count):
            h = sec + 40 * i
            if h + 40 > len(data):
                raise PEError("section table runs past the end of the file")
            name = data[h:h + 8].rstrip(b"\0").decode("latin-1")
            vsize, vaddr, raw_size, raw_ptr = struct.unpack_from("<IIII", data, h + 8)
            self.sections.append((name, vaddr, max(vsize, raw_size), raw_size, raw_ptr))

    def directory(self, index):
        if index >= len(self.directories):
            return (0, 0)
        return self.directories[index]

    def offset(self, rva):
        """File offset of a relative virtual address."""
        for _name, vaddr, vsize, raw_size, raw_ptr in self.sections:
            if vaddr <= rva < vaddr + vsize:
                if rva - vaddr >= raw_size:
                    raise PEError(f"RVA 0x{rva:x} lies in uninitialised data")
                return raw_ptr + rva - vaddr
        raise PEError(f"RVA 0x{rva:x} lies in no section")

    def c_string(self, rva):
        off = self.offset(rva)
        end = self.data.find(b"\0", off)
        if end < 0:
            raise PEError(f"unterminated string at RVA 0x{rva:x}")
        return self.data[off:end].decode("latin-1"), off

    def imported_dlls(self):
        """(name, file offset of the name) of every import descriptor,
        ordinary then delay-loaded."""
        result = []
        rva, size = self.directory(1)
        if rva:
            off = self.offset(rva)
            while True:
                if off + 20 > len(self.data):
                    raise PEError("import table runs past the end of the file")
                fields = struct.unpack_from("<IIIII", self.data, off)
                if fields == (0, 0, 0, 0, 0):
                    break
                result.append(self.c_string(fields[3]))
                off += 20
        rva, size = self.directory(13)
        if rva:
            off = self.offset(rva)
            while True:
                if off + 32 > len(self.data):
                    raise PEError("delay import table runs past the end of the file")
                fields = struct.unpack_from("<8I", self.data, off)
                if not any(fields):
                    break
                result.append(self.c_string(fields[1]))
                off += 32
        return result

    def resources(self):
        """{(type, name, language): (file offset, size)} for every leaf of the
        resource tree; string names appear as text."""
        rva, size = self.directory(2)
        if not rva:
            return {}
        base = self.offset(rva)
        leaves = {}

        def entry_name(field):
            if field & 0x80000000:
                off = base + (field & 0x7FFFFFFF)
                length = u16(self.data, off)
                return self.data[off + 2:off + 2 + 2 * length].decode("utf-16-le")
            return field

        def walk(dir_off, path):
            if dir_off + 16 > len(self.data):
                raise PEError("resource directory runs past the end of the file")
            named, ids = struct.unpack_from("<HH", self.data, dir_off + 12)
            for i in range(named + ids):
                e = dir_off + 16 + 8 * i
                name_field, target = u32(self.data, e), u32(self.data, e + 4)
                key = path + (entry_name(name_field),)
                if target & 0x80000000:
                    if len(key) >= 3:
                        raise PEError("resource tree deeper than three levels")
                    walk(base + (target & 0x7FFFFFFF), key)
                else:
                    if len(key) != 3:
                        raise PEError(f"resource leaf at depth {len(key)}")
                    data_rva, data_size = struct.unpack_from("<II", self.data, base + target)
                    leaves[key] = (self.offset(data_rva), data_size)

        walk(base, ())
        return leaves

    def resource(self, rtype, name):
        """(file offset, size) of the first language of a resource, or None."""
        found = sorted((k, v) for k, v in self.resources().items()
                       if k[0] == rtype and k[1] == name)
        return found[0][1] if found else None


# --- imports ---------------------------------------------------------------

def is_system_dll(name):
    lower = name.lower()
    return lower in SYSTEM_DLLS or any(fnmatch.fnmatchcase(lower, p)
                                       for p in SYSTEM_DLL_PATTERNS)


def check_imports(data, report):
    pe = PE(data)
    names = [n for n, _off in pe.imported_dlls()]
    report(f"imported DLLs: {', '.join(names) if names else '(none)'}")
    errors = []
    if "kernel32.dll" not in (n.lower() for n in names):
        errors.append("KERNEL32.dll is not imported: the import table was not read right")
    for name in names:
        if name.lower() in MINGW_RUNTIME_DLLS:
            errors.append(f"{name} is a MinGW runtime DLL: the link is not static")
        elif not is_system_dll(name):
            errors.append(f"{name} does not ship with Windows")
        elif name.lower() in RUN_TIME_DLLS:
            errors.append(f"{name} is imported: the program loads it at run time, "
                          "only for the commands that need it")
    return errors


# --- version ---------------------------------------------------------------

def align4(off):
    return (off + 3) & ~3


def read_version_node(blob, off):
    """One node of VS_VERSIONINFO: (key, value bytes, type, children, end)."""
    if off + 6 > len(blob):
        raise PEError(f"version node at {off} runs past the resource")
    length, value_length, value_type = struct.unpack_from("<HHH", blob, off)
    end = off + length
    if length < 6 or end > len(blob):
        raise PEError(f"version node at {off} has a bad length {length}")
    key_start = off + 6
    key_end = key_start
    while key_end + 2 <= end and blob[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = blob[key_start:key_end].decode("utf-16-le")
    value_start = align4(key_end + 2)
    value_bytes = value_length * 2 if value_type == 1 else value_length
    value = blob[value_start:min(value_start + value_bytes, end)]
    children = []
    child = align4(value_start + value_bytes)
    while child < end:
        node = read_version_node(blob, child)
        children.append(node)
        child = align4(node[4])
    return key, value, value_type, children, end


def text_value(value):
    text = value.decode("utf-16-le", errors="replace")
    return text.split("\0", 1)[0]


def version_tuple(ms, ls):
    return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


def check_version(data, report):
    pe = PE(data)
    found = pe.resource(RT_VERSION, 1)
    if found is None:
        return ["no version resource (RT_VERSION, ID 1)"]
    off, size = found
    blob = data[off:off + size]
    key, value, _type, children, _end = read_version_node(blob, 0)
    errors = []
    if key != "VS_VERSION_INFO":
        errors.append(f"version resource key is {key!r}, expected 'VS_VERSION_INFO'")
    if len(value) < 52 or u32(value, 0) != VS_FIXEDFILEINFO_SIGNATURE:
        errors.append("VS_FIXEDFILEINFO is missing or has a bad signature")
    else:
        f = struct.unpack_from("<13I", value, 0)
        file_version = version_tuple(f[2], f[3])
        product_version = version_tuple(f[4], f[5])
        report(f"fixed file version {'.'.join(map(str, file_version))}, "
               f"product version {'.'.join(map(str, product_version))}, file type {f[9]}")
        for what, got in (("file", file_version), ("product", product_version)):
            if got != EXPECTED_VERSION:
                errors.append(f"fixed {what} version is {'.'.join(map(str, got))}, "
                              f"expected {'.'.join(map(str, EXPECTED_VERSION))}")
        if f[9] != VFT_APP:
            errors.append(f"file type is {f[9]}, expected VFT_APP (1)")

    tables = {}
    translations = []
    for ckey, _cvalue, _ctype, grandchildren, _cend in children:
        if ckey == "StringFileInfo":
            for tkey, _tv, _tt, strings, _te in grandchildren:
                tables[tkey.upper()] = {s[0]: text_value(s[1]) for s in strings}
        elif ckey == "VarFileInfo":
            for vkey, vvalue, _vt, _vc, _ve in grandchildren:
                if vkey == "Translation":
                    translations += [struct.unpack_from("<HH", vvalue, i)
                                     for i in range(0, len(vvalue) - 3, 4)]
    report(f"string tables: {', '.join(sorted(tables)) or '(none)'}; translations: "
           + (", ".join(f"0x{lang:04X}/{cp}" for lang, cp in translations) or "(none)"))
    if (EXPECTED_LANGUAGE, EXPECTED_CODEPAGE) not in translations:
        errors.append(f"VarFileInfo does not list translation 0x{EXPECTED_LANGUAGE:04X}, "
                      f"{EXPECTED_CODEPAGE}")
    table = tables.get(EXPECTED_TABLE)
    if table is None:
        errors.append(f"no string table {EXPECTED_TABLE} (French, Unicode)")
        return errors
    for name, expected in EXPECTED_STRINGS.items():
        got = table.get(name)
        report(f"  {name} = {got!r}")
        if got != expected:
            errors.append(f"{name} is {got!r}, expected {expected!r}")
    return errors


# --- icon ------------------------------------------------------------------

def icon_image_size(image):
    """(width, height) of an icon image: PNG, or a DIB whose height counts
    the AND mask too."""
    if image[:8] == PNG_SIGNATURE:
        if len(image) < 24 or image[12:16] != b"IHDR":
            raise PEError("PNG icon image without IHDR")
        return struct.unpack_from(">II", image, 16)
    if len(image) >= 40 and u32(image, 0) == 40:
        width, height = struct.unpack_from("<ii", image, 4)
        return width, height // 2
    raise PEError("icon image is neither PNG nor a DIB")


def check_icon(data, report):
    pe = PE(data)
    found = pe.resource(RT_GROUP_ICON, 1)
    if found is None:
        return ["no icon group with ID 1 (the one Explorer shows)"]
    off, size = found
    group = data[off:off + size]
    if len(group) < 6:
        return ["icon group shorter than its header"]
    reserved, kind, count = struct.unpack_from("<HHH", group, 0)
    if reserved != 0 or kind != 1:
        return [f"icon group header is ({reserved}, {kind}), expected (0, 1)"]
    if len(group) < 6 + 14 * count:
        return [f"icon group announces {count} entries but holds fewer"]
    errors = []
    sizes = []
    for i in range(count):
        width, height, _colours, _res, _planes, bits, length, icon_id = \
            struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        width, height = width or 256, height or 256
        sizes.append(width)
        report(f"  icon {icon_id}: {width}x{height}, {bits} bits, {length} bytes")
        if width != height:
            errors.append(f"icon {icon_id} is not square ({width}x{height})")
        image = pe.resource(RT_ICON, icon_id)
        if image is None:
            errors.append(f"icon group names RT_ICON {icon_id}, which does not exist")
            continue
        image_off, image_size = image
        if image_size != length:
            errors.append(f"RT_ICON {icon_id} holds {image_size} bytes, "
                          f"the group says {length}")
        try:
            actual = icon_image_size(data[image_off:image_off + image_size])
        except PEError as e:
            errors.append(f"RT_ICON {icon_id}: {e}")
            continue
        if actual != (width, height):
            errors.append(f"RT_ICON {icon_id} is {actual[0]}x{actual[1]}, "
                          f"the group says {width}x{height}")
    report(f"icon sizes: {sizes}")
    if sorted(sizes) != EXPECTED_ICON_SIZES:
        errors.append(f"icon sizes are {sorted(sizes)}, expected {EXPECTED_ICON_SIZES}")
    return errors


CHECKS = {"imports": check_imports, "version": check_version, "icon": check_icon}


def run_check(mode, data, report):
    try:
        return CHECKS[mode](data, report)
    except (PEError, struct.error, UnicodeDecodeError) as e:
        return [f"malformed file: {e}"]


# --- tamper ----------------------------------------------------------------

def tamperings(data):
    """(description, check, changed copy, what the rejection must mention):
    each copy differs from the file in one fact that one check must notice."""
    pe = PE(data)
    out = []

    off, size = pe.resource(RT_VERSION, 1)
    blob = data[off:off + size]
    # The value of ProductName follows its key.
    key = "ProductName\0".encode("utf-16-le")
    at = blob.find(key)
    value = blob.find("Ostrane".encode("utf-16-le"), at)
    if at < 0 or value < 0:
        raise PEError("ProductName 'Ostrane' not found in the version resource")
    copy = bytearray(data)
    copy[off + value] = ord("X")
    out.append(("ProductName 'Ostrane' -> 'Xstrane'", "version", copy, "ProductName"))

    fixed = blob.find(struct.pack("<I", VS_FIXEDFILEINFO_SIGNATURE))
    if fixed < 0:
        raise PEError("VS_FIXEDFILEINFO not found in the version resource")
    copy = bytearray(data)
    copy[off + fixed + 12] ^= 1  # low word of dwFileVersionLS: build number
    out.append(("fixed file version 2.2.1.0 -> 2.2.1.1", "version", copy, "fixed file version"))

    for name, name_off in pe.imported_dlls():
        if name.lower() != "kernel32.dll":
            break
    else:
        raise PEError("no import besides KERNEL32.dll to tamper with")
    copy = bytearray(data)
    fake = ("lib" + "x" * (len(name) - 7) + ".dll").encode()
    copy[name_off:name_off + len(name)] = fake
    out.append((f"import {name} -> {fake.decode()}", "imports", copy, "does not ship with Windows"))

    # Same length, so the name fits where KERNEL32.dll stood.
    for name, name_off in pe.imported_dlls():
        if name.lower() == "kernel32.dll":
            break
    else:
        raise PEError("KERNEL32.dll is not imported")
    copy = bytearray(data)
    copy[name_off:name_off + len(name)] = b"ADVAPI32.dll"
    out.append(("import KERNEL32.dll -> ADVAPI32.dll", "imports", copy, "loads it at run time"))

    goff, _gsize = pe.resource(RT_GROUP_ICON, 1)
    for i in range(u16(data, goff + 4)):
        entry = goff + 6 + 14 * i
        if data[entry] == 48:
            copy = bytearray(data)
            copy[entry] = copy[entry + 1] = 64
            out.append(("icon group entry 48 px -> 64 px", "icon", copy, "icon sizes"))
            copy = bytearray(data)
            struct.pack_into("<H", copy, entry + 12, 0x7FFF)
            out.append(("icon group entry 48 px -> missing RT_ICON 32767", "icon", copy,
                        "RT_ICON 32767"))
            break
    else:
        raise PEError("no 48 px entry in the icon group to tamper with")
    return out


def check_tamper(data, report):
    quiet = lambda _line: None
    errors = []
    for mode in CHECKS:
        found = run_check(mode, data, quiet)
        if found:
            errors.append(f"the untouched file already fails '{mode}': {found[0]}")
    if errors:
        return errors
    for description, mode, copy, reason in tamperings(data):
        found = run_check(mode, bytes(copy), quiet)
        why = [e for e in found if reason in e]
        if why:
            report(f"  {description}: '{mode}' rejects it ({why[0]})")
        elif found:
            errors.append(f"{description}: '{mode}' rejects it, but not for that: {found[0]}")
        else:
            errors.append(f"{description}: '{mode}' still accepts the file")
    return errors


def main(argv):
    if len(argv) == 3 and argv[1] == "skip":
        print(f"SKIPPED: {argv[2]}")
        return SKIP_CODE
    if len(argv) != 3 or argv[1] not in list(CHECKS) + ["tamper"]:
        print(f"usage: {argv[0]} imports|version|icon|tamper FILE.exe | skip REASON",
              file=sys.stderr)
        return 2
    mode, path = argv[1], argv[2]
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as e:
        print(f"FAIL: cannot read {path}: {e}")
        return 1
    print(f"{mode}: {path}")
    report = lambda line: print(line)
    if mode == "tamper":
        try:
            errors = check_tamper(data, report)
        except (PEError, struct.error, TypeError) as e:
            errors = [f"cannot prepare the tampered copies: {e}"]
    else:
        errors = run_check(mode, data, report)
    for e in errors:
        print(f"FAIL: {e}")
    if errors:
        return 1
    print("OK")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
