#!/usr/bin/python3
"""Runs the real ostrane.exe under Wine and validates its two JSON documents
against docs/schemas, then checks that the schemas reject tampered copies.

Usage: validate_outputs.py OSTRANE_EXE REPO_ROOT

The Wine prefix is the one tools/wine-run picks (WINEPREFIX from the
environment, or its default). The firmware identities are chosen by binding a
directory over /sys/class in a private mount namespace, which needs root; when
that cannot be done those cases print SKIPPED and the others still run.

Exit status: 0 all passed, 1 a check failed, 77 nothing failed but some part
could not run here (ctest's SKIP_RETURN_CODE).
"""

import copy
import json
import os
import shutil
import subprocess
import sys
import tempfile

SKIP_CODE = 77
RUN_TIMEOUT = 300  # seconds; a cold Wine prefix can take long to start

try:
    import jsonschema
    from jsonschema import Draft202012Validator
except ImportError as error:
    print(f"SKIPPED: python3-jsonschema with draft 2020-12 support is not available ({error})")
    sys.exit(SKIP_CODE)

# The files of /sys/class/dmi/id from which Wine builds its SMBIOS table.
DMI_FILES = ["sys_vendor", "product_name", "product_version", "product_serial", "product_family",
             "board_name", "bios_vendor", "bios_version", "bios_date"]

MEMBERS = ["manufacturer", "mtm", "display_name", "bios_vendor", "bios_version", "bios_release_date"]
LABELS = {
    "manufacturer": "SMBIOS type 1 (System) : Manufacturer",
    "mtm": "SMBIOS type 1 (System) : Product Name",
    "display_name": "SMBIOS type 1 (System) : Version",
    "bios_vendor": "SMBIOS type 0 (BIOS) : Vendor",
    "bios_version": "SMBIOS type 0 (BIOS) : Version",
    "bios_release_date": "SMBIOS type 0 (BIOS) : Release Date",
}

# Firmware identities, one per resolution and per display-name source, with
# what the report must then say (a subset of its members).
FIRMWARE_CASES = [
    ("exact-x1-carbon-gen9",
     {"sys_vendor": "LENOVO", "product_name": "20XWCTO1WW", "product_version": "ThinkPad X1 Carbon Gen 9",
      "product_serial": "PF2XXXXX", "product_family": "ThinkPad X1 Carbon Gen 9", "board_name": "20XWCTO1WW",
      "bios_vendor": "LENOVO", "bios_version": "N32ET75W (1.51 )", "bios_date": "06/10/2021"},
     {"resolution": "exact", "profile_id": "x1-carbon-gen9", "mtm": "20XW",
      "sources.display_name": "SMBIOS type 1 (System) : Version"}),
    # A machine type that no model profile lists yet.
    ("family-p1-new-type",
     {"sys_vendor": "LENOVO", "product_name": "21ZZS98U00", "product_version": "ThinkPad P1 Gen 8",
      "product_family": "ThinkPad P1 Gen 8", "bios_vendor": "LENOVO", "bios_version": "N3XET48W (1.23 )",
      "bios_date": "11/20/2025"},
     {"resolution": "family", "profile_id": "family-p", "mtm": "21ZZ"}),
    ("family-from-family-field",
     {"sys_vendor": "LENOVO", "product_name": "To Be Filled By O.E.M.", "product_version": "Not Applicable",
      "product_family": "ThinkPad T14 Gen 2"},
     {"resolution": "family", "profile_id": "family-t14", "mtm": None,
      "sources.display_name": "SMBIOS type 1 (System) : Family"}),
    ("exact-display-from-baseboard",
     {"sys_vendor": "LENOVO", "product_name": "20XWCTO1WW", "product_version": "System Version",
      "board_name": "20XWCTO1WW", "bios_vendor": "Default string", "bios_version": 'A"B\\C'},
     {"resolution": "exact", "profile_id": "x1-carbon-gen9", "bios_vendor": "Default string",
      "bios_version": 'A"B\\C', "sources.display_name": "SMBIOS type 2 (Baseboard) : Product"}),
    ("dynamic-probe-dell",
     {"sys_vendor": "Dell Inc.", "product_name": "Latitude 5420", "product_version": "Not Specified",
      "bios_vendor": "Dell Inc.", "bios_version": "1.20.0", "bios_date": "03/15/2022"},
     {"resolution": "dynamic_probe", "profile_id": None, "mtm": None, "display_name": "Latitude 5420",
      "sources.display_name": "SMBIOS type 1 (System) : Product Name"}),
    ("exact-ideapad",
     {"sys_vendor": "LENOVO", "product_name": "82LMCTO1WW", "product_version": "IdeaPad 5 14ALC05",
      "product_family": "IdeaPad 5 14ALC05", "bios_vendor": "LENOVO", "bios_version": "GLCN44WW",
      "bios_date": "08/09/2022"},
     {"resolution": "exact", "profile_id": "ideapad-5-14alc05", "mtm": "82LM", "display_name": "IdeaPad 5 14ALC05"}),
    ("unsupported-lenovo",
     {"sys_vendor": "LENOVO", "product_name": "PIQY0", "product_version": "INVALID", "product_family": "IDEAPAD",
      "bios_vendor": "LENOVO", "bios_version": "47CN34WW(V2.12)", "bios_date": "06/21/2012"},
     {"resolution": "unsupported", "profile_id": None, "mtm": None, "display_name": "INVALID"}),
    ("all-empty", {},
     {"resolution": "unsupported", "profile_id": None,
      **{m: None for m in MEMBERS}, **{"sources." + m: None for m in MEMBERS}}),
]


class Checks:
    def __init__(self):
        self.failed = 0
        self.passed = 0
        self.skipped = 0

    def ok(self, name):
        self.passed += 1
        print(f"PASS {name}")

    def fail(self, name, why):
        self.failed += 1
        print(f"FAIL {name}: {why}")

    def skip(self, name, why):
        self.skipped += 1
        print(f"SKIPPED: {name}: {why}")


def reject_duplicates(pairs):
    # json.loads keeps the last of two equal keys; a duplicate must not slip by.
    keys = [k for k, _ in pairs]
    duplicates = sorted({k for k in keys if keys.count(k) > 1})
    if duplicates:
        raise ValueError(f"duplicate keys {duplicates}")
    return dict(pairs)


def parse_document(raw):
    """The document as written: UTF-8, one JSON value, exactly one final line feed."""
    text = raw.decode("utf-8")
    if not text.endswith("}\n") or text.endswith("\n\n"):
        raise ValueError("the document does not end with '}' and exactly one line feed")
    if "\r" in text:
        raise ValueError("carriage return in the output")
    return json.loads(text, object_pairs_hook=reject_duplicates)


def run_exe(wine_run, exe, args, cwd, dmi_root=None):
    """Runs the exe; returns (exit status, stdout bytes, stderr bytes)."""
    command = [wine_run, exe, *args]
    if dmi_root is not None:
        # Only this child sees the chosen firmware; the mount dies with it.
        command = ["unshare", "-m", "sh", "-c",
                   'mount --make-rprivate / && mount --bind "$1" /sys/class && shift && exec "$@"',
                   "sh", dmi_root, *command]
    # Files, not pipes: a Wine server started by the child may keep pipes open.
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        status = subprocess.run(command, cwd=cwd, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                timeout=RUN_TIMEOUT, check=False).returncode
        out.seek(0)
        err.seek(0)
        return status, out.read(), err.read()


def make_dmi_tree(parent, files):
    root = tempfile.mkdtemp(prefix="dmi-", dir=parent)
    os.makedirs(os.path.join(root, "dmi", "id"))
    unknown = set(files) - set(DMI_FILES)
    assert not unknown, f"not a DMI file: {sorted(unknown)}"
    for name in DMI_FILES:
        with open(os.path.join(root, "dmi", "id", name), "w", encoding="utf-8") as f:
            f.write(files.get(name, "") + "\n")
    return root


def namespace_unavailable(scratch):
    if shutil.which("unshare") is None:
        return "unshare is not installed"
    root = make_dmi_tree(scratch, {"sys_vendor": "probe"})
    probe = subprocess.run(
        ["unshare", "-m", "sh", "-c",
         'mount --make-rprivate / && mount --bind "$1" /sys/class && test -f /sys/class/dmi/id/sys_vendor',
         "sh", root], stdin=subprocess.DEVNULL, capture_output=True, check=False)
    if probe.returncode != 0:
        detail = probe.stderr.decode(errors="replace").strip().splitlines()
        return ("no private mount namespace with a bind mount over /sys/class can be made here "
                f"(needs root or CAP_SYS_ADMIN){': ' + detail[-1] if detail else ''}")
    return None


def member(doc, dotted):
    value = doc
    for part in dotted.split("."):
        value = value[part]
    return value


def error_text(validator, doc):
    errors = sorted(validator.iter_errors(doc), key=lambda e: list(e.absolute_path))
    return "; ".join(f"{'/'.join(map(str, e.absolute_path)) or '(document)'}: {e.message}" for e in errors[:5])


def check_document(checks, name, validator, result, expect=None):
    """Validates one run's output; returns the parsed document or None."""
    status, out, err = result
    if status != 0:
        checks.fail(name, f"exit status {status}, stderr: {err.decode(errors='replace').strip()!r}")
        return None
    try:
        doc = parse_document(out)
    except (UnicodeDecodeError, ValueError) as error:
        checks.fail(name, f"{error}; stdout: {out[:200]!r}")
        return None
    if not validator.is_valid(doc):
        checks.fail(name, "schema violation: " + error_text(validator, doc))
        return None
    wrong = [f"{k} = {member(doc, k)!r}, expected {v!r}" for k, v in (expect or {}).items() if member(doc, k) != v]
    if wrong:
        checks.fail(name, "; ".join(wrong))
        return None
    checks.ok(name)
    return doc


def expect_verdicts(checks, group, validator, cases):
    """cases: (description, document, should be valid)."""
    for what, doc, valid in cases:
        name = f"{group}: {what}"
        if validator.is_valid(doc) == valid:
            checks.ok(name)
        else:
            checks.fail(name, "accepted although it breaks the contract" if not valid else
                        "rejected although it is valid: " + error_text(validator, doc))


def tampered(doc, change):
    copied = copy.deepcopy(doc)
    change(copied)
    return copied


def setter(path, value):
    def change(doc):
        *parents, last = path.split(".")
        target = doc
        for part in parents:
            target = target[part]
        target[last] = value
    return change


def remover(path):
    def change(doc):
        *parents, last = path.split(".")
        target = doc
        for part in parents:
            target = target[part]
        del target[last]
    return change


def both(*changes):
    def change(doc):
        for c in changes:
            c(doc)
    return change


def report_cases(base):
    """Tampered copies of a valid exact report whose six values are all present."""
    assert base["resolution"] == "exact" and all(base[m] is not None for m in MEMBERS)
    wrong_notices = {
        "typographic apostrophe": base["notice"].replace("n'est", "n\u2019est"),
        "trailing space": base["notice"] + " ",
        "accent dropped": base["notice"].replace("indépendant", "independant"),
        "empty": "",
    }
    bad = []
    for key in list(base):
        bad.append((f"member {key} removed", remover(key)))
    for key in MEMBERS:
        bad.append((f"member sources.{key} removed", remover("sources." + key)))
    for key in MEMBERS:
        bad.append((f"{key} null but its label kept", setter(key, None)))
        bad.append((f"sources.{key} null but its value kept", setter("sources." + key, None)))
    bad += [
        ("extra member", setter("serial_number", "PF2XXXXX")),
        ("extra member in sources", setter("sources.serial_number", "SMBIOS type 1 (System) : Serial Number")),
        *[(f"notice wrong ({k})", setter("notice", v)) for k, v in wrong_notices.items()],
        ("backend other", setter("backend", "windows")),
        ("resolution not in the enum", setter("resolution", "Exact")),
        ("profile_id null with resolution exact", setter("profile_id", None)),
        ("profile_id null with resolution family", both(setter("resolution", "family"), setter("profile_id", None))),
        ("profile_id kept with resolution dynamic_probe", setter("resolution", "dynamic_probe")),
        ("profile_id kept with resolution unsupported", setter("resolution", "unsupported")),
        ("profile_id blank", setter("profile_id", "  ")),
        ("profiles_loaded negative", setter("profiles_loaded", -1)),
        ("profiles_loaded as a string", setter("profiles_loaded", "52")),
        ("profiles_loaded fractional", setter("profiles_loaded", 1.5)),
        ("profiles_loaded zero with a profile", setter("profiles_loaded", 0)),
        ("label of another member", setter("sources.mtm", LABELS["display_name"])),
        ("label spelled differently", setter("sources.manufacturer", "SMBIOS type 1 (System): Manufacturer")),
        ("display_name label unknown", setter("sources.display_name", "SMBIOS type 1 (System) : SKU Number")),
        ("bios label on a system member", setter("sources.manufacturer", LABELS["bios_vendor"])),
        ("empty string instead of null", setter("manufacturer", "")),
        ("value not trimmed", setter("manufacturer", " LENOVO")),
        ("value ending with a line feed", setter("bios_version", "N32ET75W\n")),
        ("placeholder manufacturer", setter("manufacturer", "To Be Filled By O.E.M.")),
        ("placeholder display_name", setter("display_name", "not specified")),
        ("mtm lower case", setter("mtm", "20xw")),
        ("mtm five characters", setter("mtm", "20XWC")),
        ("mtm starting with a letter", setter("mtm", "X1C9")),
        ("bios_version a number", setter("bios_version", 151)),
        ("sources null", setter("sources", None)),
        ("sources an array", setter("sources", [])),
        ("product-name label for display_name beside an mtm",
         setter("sources.display_name", "SMBIOS type 1 (System) : Product Name")),
        ("exact without mtm", both(setter("mtm", None), setter("sources.mtm", None))),
        ("family without display_name", both(setter("resolution", "family"), setter("display_name", None),
                                             setter("sources.display_name", None))),
        ("dynamic_probe without manufacturer",
         both(setter("resolution", "dynamic_probe"), setter("profile_id", None), setter("manufacturer", None),
              setter("sources.manufacturer", None))),
    ]
    good = [
        ("unchanged", lambda doc: None),
        ("BIOS placeholder kept unfiltered", setter("bios_vendor", "Default string")),
        ("manufacturer close to a placeholder", setter("manufacturer", "System manufacturer")),
        ("display_name containing a placeholder", setter("display_name", "None available")),
        ("placeholder without its final point", setter("display_name", "To be filled by O.E.M")),
        ("line feed inside a value", setter("bios_version", "A\nB")),
        ("escaped characters", setter("bios_version", 'A"B\\C\tD')),
        ("profile id with inner spaces as written", setter("profile_id", " x1 ")),
        ("family resolution", setter("resolution", "family")),
        ("dynamic_probe with its profile cleared", both(setter("resolution", "dynamic_probe"),
                                                        setter("profile_id", None))),
        ("family-field label", setter("sources.display_name", "SMBIOS type 1 (System) : Family")),
        ("baseboard label", setter("sources.display_name", "SMBIOS type 2 (Baseboard) : Product")),
        ("product-name label without mtm", both(setter("mtm", None), setter("sources.mtm", None),
                                                setter("resolution", "family"),
                                                setter("sources.display_name", LABELS["mtm"]))),
    ]
    return ([(w, tampered(base, c), False) for w, c in bad] +
            [(w, tampered(base, c), True) for w, c in good])


def listing_cases(base):
    assert base["profiles"], "the listing of the collection has profiles"
    first = "profiles.0."

    def item(path, value):
        def change(doc):
            doc["profiles"][0][path] = value
        return change

    def item_removed(path):
        def change(doc):
            del doc["profiles"][0][path]
        return change

    bad = [
        ("notice removed", remover("notice")),
        ("profiles removed", remover("profiles")),
        ("extra member", setter("count", len(base["profiles"]))),
        ("notice wrong", setter("notice", base["notice"].replace("risques.", "risques"))),
        ("profiles null", setter("profiles", None)),
        ("profiles an object", setter("profiles", {})),
        *[(f"{first}{k} removed", item_removed(k)) for k in ("id", "display_name", "scope", "capabilities")],
        (f"{first}extra member", item("mtm", ["20XW"])),
        (f"{first}scope capitalised", item("scope", "Model")),
        (f"{first}scope unknown", item("scope", "both")),
        (f"{first}capabilities negative", item("capabilities", -1)),
        (f"{first}capabilities as a string", item("capabilities", "3")),
        (f"{first}capabilities fractional", item("capabilities", 2.5)),
        (f"{first}capabilities null", item("capabilities", None)),
        (f"{first}id empty", item("id", "")),
        (f"{first}id blank", item("id", " \t")),
        (f"{first}id a number", item("id", 5)),
        (f"{first}display_name null", item("display_name", None)),
        ("profile entry not an object", setter("profiles", ["e14"])),
    ]
    good = [
        ("unchanged", lambda doc: None),
        ("empty profile list", setter("profiles", [])),
        (f"{first}display_name empty", item("display_name", "")),
        (f"{first}capabilities zero", item("capabilities", 0)),
        (f"{first}scope family", item("scope", "family")),
    ]
    return ([(w, tampered(base, c), False) for w, c in bad] +
            [(w, tampered(base, c), True) for w, c in good])


def synthetic_exact(null_report, profiles_loaded):
    """A consistent exact report made from the firmware-free output, for the
    negative checks when no firmware can be chosen here."""
    doc = copy.deepcopy(null_report)
    doc.update({"manufacturer": "LENOVO", "mtm": "20XW", "display_name": "ThinkPad X1 Carbon Gen 9",
                "bios_vendor": "LENOVO", "bios_version": "N32ET75W (1.51 )", "bios_release_date": "06/10/2021",
                "resolution": "exact", "profile_id": "x1-carbon-gen9", "profiles_loaded": max(profiles_loaded, 1)})
    doc["sources"] = dict(LABELS)
    return doc


def main(argv):
    if len(argv) != 3:
        print("usage: validate_outputs.py OSTRANE_EXE REPO_ROOT", file=sys.stderr)
        return 2
    exe, repo = os.path.abspath(argv[1]), os.path.abspath(argv[2])
    wine_run = os.path.join(repo, "tools", "wine-run")
    collection = os.path.join(repo, "profiles")
    if not os.path.isfile(exe):
        print(f"FAIL {exe} is missing: build the windows preset first")
        return 1

    checks = Checks()
    validators = {}
    for kind in ("detection-report", "profile-listing"):
        with open(os.path.join(repo, "docs", "schemas", f"{kind}.schema.json"), encoding="utf-8") as f:
            schema = json.load(f)
        try:
            Draft202012Validator.check_schema(schema)
        except jsonschema.exceptions.SchemaError as error:
            checks.fail(f"{kind} schema", f"not a valid draft 2020-12 schema: {error.message}")
            return 1
        validators[kind] = Draft202012Validator(schema, format_checker=None)
    report_v, listing_v = validators["detection-report"], validators["profile-listing"]

    with tempfile.TemporaryDirectory(prefix="ostrane-schemas-") as scratch:
        empty_dir = os.path.join(scratch, "empty-profiles")
        os.mkdir(empty_dir)

        listing = check_document(checks, "profiles (repository collection)", listing_v,
                                 run_exe(wine_run, exe, ["profiles", "--profiles", collection], scratch))
        check_document(checks, "profiles (empty directory)", listing_v,
                       run_exe(wine_run, exe, ["profiles", "--profiles", empty_dir], scratch), {"profiles": []})
        count = len(listing["profiles"]) if listing else None
        # The default directory is ./profiles, so the repository root is the working directory.
        null_report = check_document(
            checks, "detect (no firmware, default profile directory)", report_v,
            run_exe(wine_run, exe, ["detect"], repo),
            {"resolution": "unsupported", "profile_id": None, **({"profiles_loaded": count} if listing else {})})
        check_document(checks, "detect (no firmware, empty directory)", report_v,
                       run_exe(wine_run, exe, ["detect", "--profiles", empty_dir], scratch),
                       {"profiles_loaded": 0, "resolution": "unsupported"})

        reports = {}
        reason = namespace_unavailable(scratch)
        for name, files, expect in FIRMWARE_CASES:
            if reason:
                checks.skip(f"detect ({name})", reason)
                continue
            root = make_dmi_tree(scratch, files)
            reports[name] = check_document(
                checks, f"detect ({name})", report_v,
                run_exe(wine_run, exe, ["detect", "--profiles", collection], scratch, dmi_root=root), expect)

        # A resolved profile must be one the listing shows, with the matching scope.
        if listing:
            scopes = {p["id"]: p["scope"] for p in listing["profiles"]}
            for name, doc in reports.items():
                if doc and doc["profile_id"] is not None:
                    wanted = "model" if doc["resolution"] == "exact" else "family"
                    if scopes.get(doc["profile_id"]) == wanted:
                        checks.ok(f"detect ({name}): profile {doc['profile_id']} is a listed {wanted} profile")
                    else:
                        checks.fail(f"detect ({name})", f"profile {doc['profile_id']!r} is not a listed "
                                    f"{wanted} profile")

    base = reports.get("exact-x1-carbon-gen9")
    if base is None and null_report is not None:
        base = synthetic_exact(null_report, count or 1)
        print("note: the tampered reports start from a filled-in copy of the firmware-free report")
    if base is not None:
        expect_verdicts(checks, "report schema", report_v, report_cases(base))
    else:
        checks.fail("report schema", "no valid report to tamper with")
    if listing is not None:
        expect_verdicts(checks, "listing schema", listing_v, listing_cases(listing))
    else:
        checks.fail("listing schema", "no valid listing to tamper with")

    print(f"{checks.passed} passed, {checks.failed} failed, {checks.skipped} skipped")
    if checks.failed:
        return 1
    return SKIP_CODE if checks.skipped else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
