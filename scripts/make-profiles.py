#!/usr/bin/env python3
"""Writes the ThinkPad model profiles of profiles/ from data/thinkpad-models.tsv.

  scripts/make-profiles.py          write profiles/<id>.toml for every row
  scripts/make-profiles.py --check  write nothing; fail when the table and the
                                    public reports disagree, or when a written
                                    profile differs from what the table gives

The table is the one place where a model's facts are written. Each machine type
of data/thinkpad-mtm.tsv is either listed by exactly one row, which must be the
model that most of its reports name, or listed in data/thinkpad-unplaced.tsv
with its reason; every name the reports give is a row's name, one of its
aliases, or listed there too.
"""

import argparse
import re
import sys
from collections import Counter
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
TABLE = ROOT / "data" / "thinkpad-models.tsv"
REPORTS = ROOT / "data" / "thinkpad-mtm.tsv"
UNPLACED = ROOT / "data" / "thinkpad-unplaced.tsv"
PROFILES = ROOT / "profiles"

MARKER = "# Écrit par scripts/make-profiles.py à partir de data/thinkpad-models.tsv : modifier la table, pas ce fichier."
COLUMNS = ["id", "display_name", "aliases", "mtm", "amd_mtm", "year", "platform", "ec_path",
           "keyboard_backlight", "levels", "thinklight", "platform_profile", "ec_register", "note"]
CHOICES = {
    "platform": {"intel", "amd", "intel+amd", "arm", "?"},
    "keyboard_backlight": {"yes", "no", "?"},
    "levels": {"1", "2", "?", "-"},
    "thinklight": {"yes", "no", "?"},
    "platform_profile": {"yes", "no"},
    "ec_register": {"documented", "assumed", "-"},
}

SRC_PSREF = "Lenovo PSREF, fiche « {} »"
SRC_TPACPI_KBD = ("Linux, drivers/platform/x86/thinkpad_acpi.c : rétroéclairage du clavier par les méthodes "
                  "MLCG/MLCS du périphérique ACPI HKEY")
SRC_PM_DRIVER = ("Lenovo, pilote Windows « ThinkPad Power Management Driver » (service IBMPmDrv), "
                 "page de support du modèle")
SRC_EC_RESEARCH = ("froonix/ec-research (GitHub), page wiki « ThinkLight vs. Keyboard Backlight » : "
                   "T440p et T450s, MLCS 0 à 2 et bits 6-7 du registre EC 0x0D")
SRC_THINKLIGHT = ("Linux, Documentation/admin-guide/laptops/thinkpad-acpi.rst, sections « ThinkLight control » "
                  "et « CMOS/UCMS control »")
SRC_PROFILE = [
    "Linux, Documentation/userspace-api/sysfs-platform_profile.rst",
    "Linux, Documentation/ABI/testing/sysfs-platform_profile",
    "Linux, drivers/platform/x86/thinkpad_acpi.c : profil de plateforme par l'interface DYTC (modes MMC et PSC)",
    "Microsoft Learn, « Customize the Windows performance power slider »",
]


class TableError(Exception):
    pass


def read_tsv(path, columns):
    lines = path.read_text(encoding="utf-8").splitlines()
    if not lines or lines[0].split("\t") != columns:
        raise TableError(f"{path.name}: the header must be: {' '.join(columns)}")
    rows = []
    for number, line in enumerate(lines[1:], start=2):
        cells = line.split("\t")
        if len(cells) != len(columns):
            raise TableError(f"{path.name}:{number}: {len(cells)} cells, {len(columns)} expected")
        rows.append(dict(zip(columns, cells)))
    return rows


def words(cell, sep=None):
    return [] if cell == "-" else [w.strip() for w in cell.split(sep)]


def read_reports():
    """machine type -> (number of reports, [(name, reports)])"""
    reports = {}
    for row in read_tsv(REPORTS, ["mtm", "reports", "system_version (most reported first, with counts)"]):
        names = []
        for part in row["system_version (most reported first, with counts)"].split("; "):
            match = re.fullmatch(r"(.*) \((\d+)\)", part)
            if not match:
                raise TableError(f"{REPORTS.name}: cannot read '{part}'")
            names.append((match.group(1), int(match.group(2))))
        reports[row["mtm"]] = (int(row["reports"]), names)
    return reports


def read_table():
    rows = read_tsv(TABLE, COLUMNS)
    for row in rows:
        where = f"{TABLE.name}: {row['id']}"
        if not re.fullmatch(r"[0-9a-z][0-9a-z-]*", row["id"]) or row["id"].startswith("family-"):
            raise TableError(f"{where}: an id is lower-case letters, digits and dashes, never family-…")
        for column, allowed in CHOICES.items():
            if row[column] not in allowed:
                raise TableError(f"{where}: {column} '{row[column]}' is not one of {sorted(allowed)}")
        row["aliases"] = words(row["aliases"], "|")
        row["mtm"] = words(row["mtm"])
        row["amd_mtm"] = words(row["amd_mtm"])
        row["ec_path"] = words(row["ec_path"], "|")
        row["note"] = "" if row["note"] == "-" else row["note"]
        if not row["mtm"] or any(not re.fullmatch(r"[0-9A-Z]{4}", m) for m in row["mtm"]):
            raise TableError(f"{where}: machine types are four upper-case ASCII letters or digits")
        if not set(row["amd_mtm"]) <= set(row["mtm"]):
            raise TableError(f"{where}: amd_mtm must be machine types of the row")
        dual = row["platform"] == "intel+amd"
        if dual != bool(row["amd_mtm"]) or len(row["ec_path"]) != (2 if dual else 1):
            raise TableError(f"{where}: an intel+amd row has amd_mtm and two ec_path values, any other row one")
        if (row["keyboard_backlight"] == "yes") != (row["levels"] in {"1", "2", "?"}):
            raise TableError(f"{where}: levels are given exactly when the keyboard is backlit")
        if row["ec_register"] != "-" and row["keyboard_backlight"] != "yes":
            raise TableError(f"{where}: an EC register needs a backlit keyboard")
    return rows


def check_placement(rows, reports, unplaced):
    """Every machine type and every name of the reports is accounted for."""
    problems = []
    model_of = {}
    for row in rows:
        for name in [row["display_name"], *row["aliases"]]:
            if model_of.setdefault(name, row["id"]) != row["id"]:
                problems.append(f"name '{name}' belongs to both {model_of[name]} and {row['id']}")
    unplaced_mtm = {r["value"]: r["reason"] for r in unplaced if r["kind"] == "mtm"}
    unplaced_names = {r["value"]: r["reason"] for r in unplaced if r["kind"] == "name"}
    for r in unplaced:
        if r["kind"] not in {"mtm", "name"} or not r["reason"].strip():
            problems.append(f"{UNPLACED.name}: '{r['value']}' needs kind mtm or name and a reason")

    placed = {}
    for row in rows:
        for mtm in row["mtm"]:
            if placed.setdefault(mtm, row["id"]) != row["id"]:
                problems.append(f"{mtm} is in both {placed[mtm]} and {row['id']}")
    for mtm, (_, names) in sorted(reports.items()):
        votes = Counter()
        for name, count in names:
            if name in model_of:
                votes[model_of[name]] += count
            elif name not in unplaced_names:
                problems.append(f"{mtm}: the name '{name}' is no row's name or alias, nor listed as unplaced")
        if mtm in unplaced_mtm:
            if mtm in placed:
                problems.append(f"{mtm} is listed as unplaced and in {placed[mtm]}")
            continue
        if mtm not in placed:
            problems.append(f"{mtm} ({names}) is in no row and not listed as unplaced")
            continue
        here = votes[placed[mtm]]
        if here == 0 or any(count > here for count in votes.values()):
            problems.append(f"{mtm} is in {placed[mtm]}, but its reports name {dict(votes)}")
    for value in [*unplaced_mtm, *unplaced_names]:
        if value not in reports and not any(value == n for _, ns in reports.values() for n, _ in ns):
            problems.append(f"{UNPLACED.name}: '{value}' is not in the reports")
    return problems


def toml_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def toml_list(items, indent=False):
    if not indent:
        return "[" + ", ".join(toml_string(i) for i in items) + "]"
    return "[\n" + "".join(f"    {toml_string(i)},\n" for i in items) + "]"


def capability(cap_id, label, access, confidence, sources, notes, bounds=None):
    lines = ["", "[[capabilities]]", f"id = {toml_string(cap_id)}", f"label = {toml_string(label)}",
             f"access = {access}", f"confidence = {toml_string(confidence)}", f"sources = {toml_list(sources, True)}"]
    if bounds is not None:
        lines.append(f"bounds = {{ min = {bounds[0]}, max = {bounds[1]} }}")
    lines.append(f"notes = {toml_string(notes)}")
    return lines


def backlight_capabilities(row, psref):
    if row["keyboard_backlight"] != "yes":
        return []
    dual = row["platform"] == "intel+amd"
    levels = None if row["levels"] == "?" else int(row["levels"])
    documented = row["ec_register"] == "documented"
    sources = [SRC_TPACPI_KBD] + ([SRC_EC_RESEARCH] if documented else []) + [SRC_PM_DRIVER, psref]
    intel_types = [m for m in row["mtm"] if m not in row["amd_mtm"]]
    variants = [("keyboard_backlight_pm", row["ec_path"][0], intel_types if dual else None)]
    if dual:
        variants.append(("keyboard_backlight_pm_amd", row["ec_path"][1], row["amd_mtm"]))
    lines = []
    for cap_id, ec, types in variants:
        if ec == "?" or (dual and not types):
            continue
        notes = "Méthode ACPI MLCS (écriture) / MLCG (lecture) du périphérique HKEY"
        notes += f", niveaux 0 à {levels}." if levels is not None else " ; nombre de niveaux non établi pour ce modèle."
        notes += (" Sous Windows, le pilote de gestion d'alimentation ThinkPad (IBMPmDrv) est l'intermédiaire attendu.")
        if types is not None:
            notes += f" Types {'AMD' if cap_id.endswith('_amd') else 'Intel'} : {', '.join(types)}."
        if not documented:
            notes += f" Préfixe {ec} supposé d'après la plateforme et l'année ; chemin à confirmer dans la DSDT du modèle."
        lines += capability(cap_id, "Rétroéclairage du clavier (pilote de gestion d'alimentation ThinkPad)",
                            f"{{ method = \"acpi\", path = '{ec}.HKEY.MLCS' }}",
                            "documented" if documented else "assumed", sources, notes,
                            (0, levels) if levels is not None else None)
    if row["ec_register"] != "-":
        notes = ("Niveau porté par les bits 6 et 7 du registre 0x0D (0 éteint, 1 faible, 2 fort) ; écrire par "
                 "lecture-modification-écriture sans toucher les autres bits.")
        if not documented:
            notes += " Relevé sur T440p et T450s, supposé identique sur cette génération."
        lines += ["", "[[capabilities]]", 'id = "keyboard_backlight_ec"',
                  'label = "Rétroéclairage du clavier (registre du contrôleur embarqué)"',
                  'access = { method = "ec", offset = 0x0D }', f"confidence = {toml_string(row['ec_register'])}",
                  f"sources = {toml_list([SRC_EC_RESEARCH, psref], True)}", "bounds = { min = 0, max = 2 }",
                  f"notes = {toml_string(notes)}"]
    return lines


def render(row, reports):
    name = row["display_name"]
    psref = SRC_PSREF.format(name)
    counted = [(m, reports[m][0]) for m in row["mtm"] if m in reports]
    seen = ", ".join(f"{m} ({n})" for m, n in counted)
    out = [MARKER, f"# {name} ({row['year']}).",
           f"# Types de machine relevés dans les rapports publics : {seen} ; {sum(n for _, n in counted)} rapports au total."]
    others = [m for m in row["mtm"] if m not in reports]
    if others:
        out.append(f"# Types hors des rapports publics : {', '.join(others)}.")
    if row["platform"] == "intel+amd":
        intel = [m for m in row["mtm"] if m not in row["amd_mtm"]]
        out.append(f"# Variantes : Intel : {', '.join(intel)} ; AMD : {', '.join(row['amd_mtm'])}.")
    if row["aliases"]:
        out.append("# Autres noms annoncés : " + ", ".join(f"« {a} »" for a in row["aliases"]) + ".")
    if row["note"]:
        out.append(f"# {row['note']}")
    out += ["", "schema_version = 1", f"id = {toml_string(row['id'])}", f"display_name = {toml_string(name)}",
            'scope = "model"', "", "[matches]", f"mtm = {toml_list(row['mtm'])}"]
    out += backlight_capabilities(row, psref)
    thinklight_ec = row["ec_path"][0]
    if row["thinklight"] == "yes" and thinklight_ec != "?":
        out += capability("thinklight", "ThinkLight (lampe du clavier en haut de l'écran)",
                          f"{{ method = \"acpi\", path = '{thinklight_ec}.KBLT' }}", "assumed",
                          [SRC_THINKLIGHT, psref],
                          "État lu dans le champ KBLT du contrôleur embarqué ; commande par les commandes CMOS 12 "
                          "(allumer) et 13 (éteindre) de la méthode \\UCMS. Chemin et commandes à confirmer sur le "
                          "modèle.", (0, 1))
    if row["platform_profile"] == "yes":
        out += capability("platform_profile", "Profil de performance de la plateforme (mode d'alimentation)",
                          '{ method = "platform_profile" }', "assumed", SRC_PROFILE,
                          f"Génération {row['year']} : interface DYTC de version 5 ou plus supposée, qui donne le "
                          "profil de plateforme sous Linux et suit le mode d'alimentation de Windows. Non vérifié "
                          "sur ce modèle.")
    return "\n".join(out) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="write nothing, report every difference")
    args = parser.parse_args()
    try:
        rows = read_table()
        reports = read_reports()
        unplaced = read_tsv(UNPLACED, ["kind", "value", "reason"])
    except TableError as error:
        print(f"make-profiles: {error}", file=sys.stderr)
        return 1

    problems = check_placement(rows, reports, unplaced)
    ids = Counter(row["id"] for row in rows)
    problems += [f"id {i} is in {n} rows" for i, n in ids.items() if n > 1]
    wanted = {PROFILES / f"{row['id']}.toml": render(row, reports) for row in rows}
    for path in sorted(PROFILES.glob("*.toml")):
        generated = path.read_text(encoding="utf-8").startswith(MARKER)
        if path not in wanted and generated:
            problems.append(f"{path.name} was written from the table but has no row any more")
        if path in wanted and not generated:
            problems.append(f"{path.name} is written by hand, but the table has a row {path.stem}")
            del wanted[path]
    if problems:
        print("\n".join(f"make-profiles: {p}" for p in problems), file=sys.stderr)
        return 1

    stale = [p for p, text in wanted.items() if not p.exists() or p.read_text(encoding="utf-8") != text]
    if args.check:
        for path in stale:
            print(f"make-profiles: {path.relative_to(ROOT)} differs from the table: run scripts/make-profiles.py",
                  file=sys.stderr)
        print(f"make-profiles: {len(wanted)} model profiles, {len(stale)} out of date")
        return 1 if stale else 0
    for path in stale:
        path.write_text(wanted[path], encoding="utf-8", newline="\n")
    print(f"make-profiles: {len(wanted)} model profiles, {len(stale)} written")
    return 0


if __name__ == "__main__":
    sys.exit(main())
