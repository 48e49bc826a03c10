#!/usr/bin/env python3
"""Writes the ThinkPad model profiles of profiles/ from data/thinkpad-models.tsv.

  scripts/make-profiles.py          write profiles/<id>.toml for every row
  scripts/make-profiles.py --check  write nothing; fail when the table and the
                                    public reports disagree, or when a written
                                    profile differs from what the table gives

The table is the one place where a model's facts are written, checked against
data/thinkpad-acpi.tsv, the facts of real firmware tables (scripts/read-acpi.py):
a claim that the vendor firmware of the very model shows is documented and names
that dump; one it contradicts fails the check; a model without a dump keeps its
assumed ACPI paths only where every dump of its line, platform and year bears
the same path out. A model sold with Intel and AMD boards is written as two
profiles, <id> and <id>-amd, each with the capabilities of its own platform.

Each machine type
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
ACPI = ROOT / "data" / "thinkpad-acpi.tsv"
ACPI_COLUMNS = ["hwid", "model", "mtm", "firmware", "dsdt_oem", "ec", "mlcg", "mlcs", "kblt", "ucms", "dytc",
                "dytc_revision"]
# thinkpad_acpi offers the platform profile from this DYTC revision on.
MIN_DYTC_REVISION = 5
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
SRC_ACPI = "linux-hardware.org, collection ACPI (CC BY 4.0), rapport {hwid} : « {model} », tables ACPI décompilées"
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


def line_of(name):
    """The product line: "T" for a T14, "X" for an X1 Carbon, "Edge" for an Edge E431."""
    token = name.split()[1] if len(name.split()) > 1 else name
    letters = re.match(r"[A-Za-z]+", token)
    return letters.group(0).upper() if letters else token


def variants(row):
    """One profile per platform whose firmware differs: (id, name, types, EC prefix, platform)."""
    if row["platform"] != "intel+amd":
        return [(row["id"], row["display_name"], row["mtm"], row["ec_path"][0], row["platform"])]
    intel = [m for m in row["mtm"] if m not in row["amd_mtm"]]
    amd = (row["display_name"] + " (AMD)", row["amd_mtm"], row["ec_path"][1], "amd")
    if not intel:  # only AMD machine types are known: the model keeps its id
        return [(row["id"], *amd)]
    return [(row["id"], row["display_name"] + " (Intel)", intel, row["ec_path"][0], "intel"), (row["id"] + "-amd", *amd)]


def read_dumps():
    """The vendor-firmware dumps by machine type; a coreboot build is no evidence for Lenovo's firmware."""
    by_mtm = {}
    for dump in read_tsv(ACPI, ACPI_COLUMNS):
        if dump["firmware"] != "vendor":
            continue
        paths = set()
        for ec in words(dump["ec"], "|"):
            paths |= {f"{ec}.HKEY.{m.upper()}" for m in ("mlcg", "mlcs") if dump[m] == "yes"}
        paths |= set(words(dump["kblt"], "|"))
        if dump["ucms"] == "yes":
            paths.add("\\UCMS")
        dump["paths"] = paths
        dump["ecs"] = set(words(dump["ec"], "|"))
        dump["revision"] = int(dump["dytc_revision"]) if dump["dytc_revision"].isdigit() else None
        by_mtm.setdefault(dump["mtm"], []).append(dump)
    return by_mtm


class Evidence:
    """What the dumps say of one profile: its own dumps, and those of its line, platform and year."""

    def __init__(self, own, group, where, problems):
        self.own, self.group, self.where, self.problems = own, group, where, problems

    def sources(self):
        return [SRC_ACPI.format(hwid=d["hwid"], model=d["model"]) for d in self.own]

    def path(self, path, ec, what):
        """'documented', 'assumed', or None when the path must be left out."""
        if self.own:
            missing = [d["hwid"] for d in self.own if path not in d["paths"]]
            if missing:
                self.problems.append(f"{self.where}: {what} {path} is not in the firmware of {', '.join(missing)}")
            return "documented"
        if any(ec not in d["ecs"] for d in self.group):
            return None
        return "assumed"


def acpi_capability(cap_id, label, path, confidence, sources, notes, bounds, evidence):
    if confidence == "documented":
        sources = evidence.sources() + sources
        notes += " Chemin relevé dans les tables ACPI de ce modèle."
    return capability(cap_id, label, f"{{ method = \"acpi\", path = '{path}' }}", confidence, sources, notes, bounds)


def backlight_capabilities(row, psref, ec, evidence, omitted):
    if row["keyboard_backlight"] != "yes":
        return []
    levels = None if row["levels"] == "?" else int(row["levels"])
    documented_register = row["ec_register"] == "documented"
    lines = []
    if ec != "?":
        path = f"{ec}.HKEY.MLCS"
        confidence = evidence.path(path, ec, "the keyboard backlight method")
        if confidence == "documented":
            evidence.path(f"{ec}.HKEY.MLCG", ec, "the keyboard backlight method")
        if confidence is None:
            omitted.append(path)
        else:
            notes = "Méthode ACPI MLCS (écriture) / MLCG (lecture) du périphérique HKEY"
            notes += f", niveaux 0 à {levels}." if levels is not None else " ; nombre de niveaux non établi pour ce modèle."
            notes += " Sous Windows, le pilote de gestion d'alimentation ThinkPad (IBMPmDrv) est l'intermédiaire attendu."
            if confidence == "assumed" and not documented_register:
                notes += f" Préfixe {ec} supposé d'après la plateforme et l'année ; chemin à confirmer dans la DSDT du modèle."
            documented = confidence == "documented" or documented_register
            sources = [SRC_TPACPI_KBD] + ([SRC_EC_RESEARCH] if documented_register else []) + [SRC_PM_DRIVER, psref]
            lines += acpi_capability("keyboard_backlight_pm",
                                     "Rétroéclairage du clavier (pilote de gestion d'alimentation ThinkPad)", path,
                                     "documented" if documented else "assumed", sources, notes,
                                     (0, levels) if levels is not None else None, evidence)
    if row["ec_register"] != "-":
        notes = ("Niveau porté par les bits 6 et 7 du registre 0x0D (0 éteint, 1 faible, 2 fort) ; écrire par "
                 "lecture-modification-écriture sans toucher les autres bits.")
        if not documented_register:
            notes += " Relevé sur T440p et T450s, supposé identique sur cette génération."
        lines += ["", "[[capabilities]]", 'id = "keyboard_backlight_ec"',
                  'label = "Rétroéclairage du clavier (registre du contrôleur embarqué)"',
                  'access = { method = "ec", offset = 0x0D }', f"confidence = {toml_string(row['ec_register'])}",
                  f"sources = {toml_list([SRC_EC_RESEARCH, psref], True)}", "bounds = { min = 0, max = 2 }",
                  f"notes = {toml_string(notes)}"]
    return lines


def render(row, variant, reports, evidence):
    profile_id, name, types, ec, _ = variant
    psref = SRC_PSREF.format(row["display_name"])
    counted = [(m, reports[m][0]) for m in types if m in reports]
    seen = ", ".join(f"{m} ({n})" for m, n in counted)
    out = [MARKER, f"# {name} ({row['year']}).",
           f"# Types de machine relevés dans les rapports publics : {seen} ; {sum(n for _, n in counted)} rapports au total."]
    others = [m for m in types if m not in reports]
    if others:
        out.append(f"# Types hors des rapports publics : {', '.join(others)}.")
    siblings = [v[0] for v in variants(row) if v[0] != profile_id]
    if siblings:
        out.append(f"# Vendu aussi sur l'autre plateforme, dont le micrologiciel diffère : profil {siblings[0]}.")
    if row["aliases"]:
        out.append("# Autres noms annoncés : " + ", ".join(f"« {a} »" for a in row["aliases"]) + ".")
    if row["note"]:
        out.append(f"# {row['note']}")
    for dump in evidence.own:
        out.append(f"# Tables ACPI du modèle : rapport {dump['hwid']} (« {dump['model']} »).")
    omitted = []
    body = ["", "schema_version = 1", f"id = {toml_string(profile_id)}", f"display_name = {toml_string(name)}",
            'scope = "model"', "", "[matches]", f"mtm = {toml_list(types)}"]
    body += backlight_capabilities(row, psref, ec, evidence, omitted)
    if row["thinklight"] == "yes" and ec != "?":
        path = f"{ec}.KBLT"
        confidence = evidence.path(path, ec, "the ThinkLight field")
        if confidence == "documented":
            evidence.path("\\UCMS", ec, "the CMOS command method")
        if confidence is None:
            omitted.append(path)
        else:
            notes = ("État lu dans le champ KBLT du contrôleur embarqué ; commande par les commandes CMOS 12 "
                     "(allumer) et 13 (éteindre) de la méthode \\UCMS.")
            if confidence == "assumed":
                notes += " Chemin et commandes à confirmer sur le modèle."
            body += acpi_capability("thinklight", "ThinkLight (lampe du clavier en haut de l'écran)", path, confidence,
                                    [SRC_THINKLIGHT, psref], notes, (0, 1), evidence)
    revisions = [d["revision"] for d in evidence.own]
    if row["platform_profile"] == "yes":
        if evidence.own:
            low = [d["hwid"] for d in evidence.own if (d["revision"] or 0) < MIN_DYTC_REVISION]
            if low:
                evidence.problems.append(f"{evidence.where}: the DYTC of {', '.join(low)} is below revision "
                                         f"{MIN_DYTC_REVISION}, yet the table gives the platform profile")
            notes = (f"Interface DYTC de révision {'/'.join(str(r) for r in sorted(set(revisions)))} dans les tables "
                     "ACPI de ce modèle (5 ou plus : profil de plateforme sous Linux, qui suit le mode "
                     "d'alimentation de Windows).")
            body += capability("platform_profile", "Profil de performance de la plateforme (mode d'alimentation)",
                               '{ method = "platform_profile" }', "documented", evidence.sources() + SRC_PROFILE, notes)
        else:
            body += capability("platform_profile", "Profil de performance de la plateforme (mode d'alimentation)",
                               '{ method = "platform_profile" }', "assumed", SRC_PROFILE,
                               f"Génération {row['year']} : interface DYTC de révision 5 ou plus supposée, qui donne "
                               "le profil de plateforme sous Linux et suit le mode d'alimentation de Windows. Non "
                               "vérifié sur ce modèle.")
    elif any(r is not None and r >= MIN_DYTC_REVISION for r in revisions):
        evidence.problems.append(f"{evidence.where}: its firmware's DYTC is of revision {max(r or 0 for r in revisions)}:"
                                 " the table should give the platform profile")
    if omitted:
        out.append("# Chemins ACPI omis, qu'aucune table de la même gamme, plateforme et année ne confirme : "
                   + ", ".join(omitted) + ".")
    return "\n".join(out + body) + "\n"


def evidence_for(rows, dumps, problems):
    """Evidence per profile id: its own dumps and those of its group (line, platform, year)."""
    group_of = {}
    for row in rows:
        for variant in variants(row):
            for mtm in variant[2]:
                group_of[mtm] = (line_of(row["display_name"]), variant[4], row["year"])
    groups = {}
    for mtm, found in dumps.items():
        if mtm in group_of:
            groups.setdefault(group_of[mtm], []).extend(found)
    evidence = {}
    for row in rows:
        for variant in variants(row):
            own = [d for m in variant[2] for d in dumps.get(m, [])]
            group = groups.get((line_of(row["display_name"]), variant[4], row["year"]), [])
            where = f"{TABLE.name}: {variant[0]}"
            for dump in own:
                if variant[3] not in dump["ecs"] and variant[3] != "?":
                    problems.append(f"{where}: the EC is {variant[3]} in the table, {dump['ec']} in the firmware of "
                                    f"{dump['hwid']}: correct the table")
            evidence[variant[0]] = Evidence(own, group, where, problems)
    return evidence


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="write nothing, report every difference")
    args = parser.parse_args()
    try:
        rows = read_table()
        reports = read_reports()
        unplaced = read_tsv(UNPLACED, ["kind", "value", "reason"])
        dumps = read_dumps()
    except TableError as error:
        print(f"make-profiles: {error}", file=sys.stderr)
        return 1

    problems = check_placement(rows, reports, unplaced)
    ids = Counter(variant[0] for row in rows for variant in variants(row))
    problems += [f"id {i} is written {n} times" for i, n in ids.items() if n > 1]
    evidence = evidence_for(rows, dumps, problems)
    wanted = {PROFILES / f"{variant[0]}.toml": render(row, variant, reports, evidence[variant[0]])
              for row in rows for variant in variants(row)}
    for path in sorted(PROFILES.glob("*.toml")):
        generated = path.read_text(encoding="utf-8").startswith(MARKER)
        if path not in wanted and generated:
            problems.append(f"{path.name} was written from the table but has no row any more")
        if path in wanted and not generated:
            problems.append(f"{path.name} is written by hand, but the table gives a profile {path.stem}")
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
