#!/usr/bin/env python3
"""Writes the generated profiles of profiles/: the ThinkPads from data/thinkpad-models.tsv, the other
Lenovo laptops from data/lenovo-models.tsv (see lenovo_profiles.py).

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
import tomllib
from collections import Counter
from collections.abc import Callable
from dataclasses import dataclass, field
from pathlib import Path

import lenovo_profiles
from profile_tables import (DATA, ROOT, TableError, check_placement, check_row_id, read_reports, read_tsv,
                            rules_table, toml_list, toml_string, words)

TABLE = DATA / "thinkpad-models.tsv"
REPORTS = DATA / "thinkpad-mtm.tsv"
UNPLACED = DATA / "thinkpad-unplaced.tsv"
ACPI = DATA / "thinkpad-acpi.tsv"
ACPI_COLUMNS = ["hwid", "model", "mtm", "firmware", "dsdt_oem", "ec", "mlcg", "mlcs", "kblt", "ucms", "dytc",
                "dytc_revision", "hkey", "hkey_methods", "ec_fields", "wmi_guids"]
PROFILES = ROOT / "profiles"
README = PROFILES / "README.md"
RULES_BEGIN = "<!-- Règles : écrit par scripts/make-profiles.py, ne pas modifier à la main. -->"
RULES_END = "<!-- Fin des règles. -->"

MARKER = "# Écrit par scripts/make-profiles.py à partir de data/thinkpad-models.tsv : modifier la table, pas ce fichier."
COLUMNS = ["id", "display_name", "aliases", "mtm", "amd_mtm", "year", "platform", "ec_path",
           "keyboard_backlight", "thinklight", "ec_register", "note"]
CHOICES = {
    "platform": {"intel", "amd", "intel+amd", "arm", "?"},
    "keyboard_backlight": {"yes", "no", "?"},
    "thinklight": {"yes", "no", "?"},
    "ec_register": {"documented", "-"},
}

def read_table():
    rows = read_tsv(TABLE, COLUMNS)
    for row in rows:
        where = f"{TABLE.name}: {row['id']}"
        check_row_id(where, row["id"])
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
        if row["ec_register"] != "-" and row["keyboard_backlight"] != "yes":
            raise TableError(f"{where}: an EC register needs a backlit keyboard")
        if not re.fullmatch(r"(19|20)\d\d", row["year"]):
            raise TableError(f"{where}: the year is four digits")
        row["year"] = int(row["year"])
    return rows


# Short references, each explained once in profiles/README.md.
TPACPI = "linux:thinkpad_acpi.c"
TPACPI_DOC = "linux:thinkpad-acpi.rst"
THINK_LMI = "linux:think-lmi.c"
FNLOCK_PATCH = "linux:3d677f12ea3a"
PROFILE_DOC = "linux:sysfs-platform_profile.rst"
LENOVO_WMI_GUIDE = "web:lenovo-bios-wmi"
EC_RESEARCH = "web:froonix-ec-research"

# The GUIDs of the BIOS settings classes, as think-lmi.c names them.
BIOS_SETTING_GUID = "51F5230E-9677-46CD-A1CF-C0B23EE34DB7"
SET_BIOS_SETTING_GUID = "98479A64-33F5-4E33-A707-8E251EBBC3A1"
SAVE_BIOS_SETTINGS_GUID = "6A4B54EF-A5ED-4D33-9455-B0D9B48DF4B3"

# thinkpad_acpi offers the platform profile from this DYTC revision on.
MIN_DYTC_REVISION = 5

# Models that the fan and thermal quirk tables of thinkpad_acpi.c name as
# having non-standard EC registers (TPACPI_FAN_NS and the thermal quirks:
# "L380", "L390", "L13 Yoga Gen 1/2", "X13 Yoga Gen 1/2", "11e Gen5"), and the
# one whose fan speed the EC gives in decimal (TPACPI_FAN_DECRPM, "L480").
EC_QUIRKED = {"l380", "l390", "l13-yoga", "l13-yoga-gen2", "x13-yoga-gen1", "x13-yoga-gen2", "11e-5th-gen"}
DECIMAL_FAN_SPEED = {"l480"}


@dataclass(frozen=True)
class Feature:
    """One capability: how a dump shows it, and what a profile says of it."""
    id: str
    label: str
    shown: Callable  # (dump) -> bool
    access: Callable  # (EC path) -> the TOML of the access table
    notes: str
    refs: tuple
    bounds: tuple = None
    needs_ec: bool = False  # the access is a path under the EC
    rules: bool = True  # whether a rule may stand for a model's own dump
    applies: Callable = lambda row, profile_id: True  # the models it may be said of at all

    def rule_name(self, group, since):
        return f"règle:{group}-{since}"


def hkey_methods(*names):
    return lambda dump: set(names) <= dump["methods"]


def hkey_access(method):
    return lambda ec: f"{{ method = \"acpi\", path = '{ec}.HKEY.{method}' }}"


def ec_field(unit):
    return lambda dump: unit in dump["fields"]


def ec_access(offset):
    return lambda ec: f"{{ method = \"ec\", offset = 0x{offset:02X} }}"


def usual_ec(row, profile_id):
    # Three Yoga dumps of three (X380 Yoga, L380 Yoga, X13 Yoga Gen 1) keep
    # these registers elsewhere.
    return "Yoga" not in row["display_name"] and row["id"] not in EC_QUIRKED


FEATURES = [
    Feature("keyboard_backlight_pm", "Rétroéclairage du clavier (ACPI)",
            lambda d: {"MLCG", "MLCS"} <= d["methods"], hkey_access("MLCS"),
            "MLCG(0) : bit 9 = clavier rétroéclairé (selon la configuration), bits 0-1 = niveau ; MLCS(niveau).",
            (TPACPI,), (0, 2), needs_ec=True, applies=lambda row, _: row["keyboard_backlight"] != "no"),
    Feature("thinklight", "ThinkLight",
            lambda d: d["kblt"] and d["ucms"], lambda ec: f"{{ method = \"acpi\", path = '{ec}.KBLT' }}",
            "État : champ KBLT ; \\UCMS(12) allume, \\UCMS(13) éteint.",
            (TPACPI, TPACPI_DOC), (0, 1), needs_ec=True, applies=lambda row, _: row["thinklight"] == "yes"),
    Feature("platform_profile", "Profil de performance (DYTC)",
            lambda d: (d["revision"] or 0) >= MIN_DYTC_REVISION, lambda ec: '{ method = "platform_profile" }',
            "DYTC(0) : bits 28-31 = révision ; 5 ou plus : profils bas, équilibré, performance.",
            (TPACPI, PROFILE_DOC)),
    Feature("charge_start_threshold", "Seuil de début de charge", hkey_methods("BCTG", "BCCS"),
            hkey_access("BCCS"),
            "BCTG(b) : bit 8 = pris en charge, bits 0-7 = seuil ; BCCS(seuil | b << 8), b = batterie 1 ou 2.",
            (TPACPI,), (0, 99), needs_ec=True),
    Feature("charge_stop_threshold", "Seuil de fin de charge", hkey_methods("BCSG", "BCSS"),
            hkey_access("BCSS"),
            "BCSG(b) : bit 8 = pris en charge, bits 0-7 = seuil (0 = 100) ; BCSS(seuil | b << 8), 100 s'écrit 0.",
            (TPACPI,), (1, 100), needs_ec=True),
    Feature("force_discharge", "Décharge forcée", hkey_methods("BDSG", "BDSS"), hkey_access("BDSS"),
            "BDSG(b) : bit 8 = pris en charge, bit 0 = actif ; BDSS(actif | b << 8).",
            (TPACPI,), (0, 1), needs_ec=True),
    Feature("charge_inhibit", "Suspension de la charge", hkey_methods("BICG", "BICS"),
            hkey_access("BICS"),
            "BICG(b) : bit 5 = pris en charge, bit 0 = actif ; BICS(actif | b << 4 | 0xFFFF << 8), sans fin.",
            (TPACPI,), (0, 1), needs_ec=True),
    Feature("mic_mute_led", "Voyant du micro coupé", hkey_methods("MMTS"), hkey_access("MMTS"),
            "MMTS(2) allume, MMTS(0) éteint ; aucun état à relire.",
            (TPACPI,), needs_ec=True),
    Feature("fn_lock", "Verrouillage de Fn", hkey_methods("GMKS", "SMKS"), hkey_access("SMKS"),
            "GMKS() rend 0x603 verrouillé, 0x602 sinon ; SMKS(1) verrouille, SMKS(0) libère.",
            (FNLOCK_PATCH, TPACPI), needs_ec=True),
    Feature("privacy_screen", "Écran de confidentialité", hkey_methods("GSSS", "SSSS"),
            hkey_access("SSSS"),
            "GSSS(0) : bit 16 = écran présent (selon la configuration), bit 0 = actif ; SSSS(0 ou 1).",
            (TPACPI,), needs_ec=True, rules=False),
    Feature("palm_sensor", "Capteur de paume", hkey_methods("GPSS"), hkey_access("GPSS"),
            "GPSS() : bit 0 = capteur présent (selon la configuration), bit 1 = paume détectée.",
            (TPACPI,), needs_ec=True, rules=False),
    Feature("keyboard_language", "Langue du clavier", hkey_methods("GSKL", "SSKL"), hkey_access("SSKL"),
            "GSKL(0x02000000) : code de langue, bit 31 = sans objet sur ce clavier ; SSKL(code | 1 << 24).",
            (TPACPI, TPACPI_DOC), needs_ec=True, rules=False),
    Feature("bluetooth", "Radio Bluetooth", hkey_methods("GBDC", "SBDC"), hkey_access("SBDC"),
            "GBDC() : bit 0 = radio présente (selon la configuration), bit 1 = active ; SBDC(6) active, SBDC(0) "
            "coupe.",
            (TPACPI,), needs_ec=True, rules=False),
    Feature("wwan", "Radio de réseau mobile (WWAN)", hkey_methods("GWAN", "SWAN"), hkey_access("SWAN"),
            "GWAN() : bit 0 = carte présente (selon la configuration), bit 1 = active ; SWAN(6) active, SWAN(0) "
            "coupe.",
            (TPACPI,), needs_ec=True, rules=False),
    Feature("fan_level", "Niveau du ventilateur", ec_field("HFSP@0x2F/8"), ec_access(0x2F),
            "HFSP : bits 0-2 = niveau, bit 7 = automatique, bit 6 = pleine vitesse.",
            (TPACPI,), (0, 7), applies=usual_ec),
    Feature("fan_speed", "Vitesse du ventilateur", ec_field("HSPD@0x84/16"), ec_access(0x84),
            "Tr/min sur 16 bits : 0x84 (bas) avant 0x85.",
            (TPACPI,), applies=lambda row, pid: usual_ec(row, pid) and row["id"] not in DECIMAL_FAN_SPEED),
    Feature("temperature_sensor", "Température, capteur 0",
            ec_field("TMP0@0x78/8"), ec_access(0x78),
            "°C signés ; 0x80 = absent.",
            (TPACPI, TPACPI_DOC), applies=usual_ec),
    Feature("bios_settings", "Réglages du BIOS (WMI)",
            lambda d: {BIOS_SETTING_GUID, SET_BIOS_SETTING_GUID, SAVE_BIOS_SETTINGS_GUID} <= d["guids"],
            lambda ec: '{ method = "wmi", class = "Lenovo_BiosSetting", property = "CurrentSetting" }',
            "root\\WMI ; chaque instance rend « Nom,Valeur » ; Lenovo_SetBiosSetting(« Nom,Valeur; ») puis "
            "Lenovo_SaveBiosSettings.",
            (THINK_LMI, LENOVO_WMI_GUIDE)),
]


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


def read_families():
    """The hand-written family profiles, in the order the resolution tries them: (id, words)."""
    families = []
    for path in sorted(PROFILES.glob("family-*.toml"), key=lambda p: p.name.encode()):
        if path.read_text(encoding="utf-8").startswith(lenovo_profiles.MARKER):
            continue
        with open(path, "rb") as f:
            profile = tomllib.load(f)
        families.append((profile["id"], [w.lower() for w in profile["matches"]["version_contains"]]))
    return families


def family_of(name, families):
    """The family that takes `name` when no model profile does; its id without "family-"."""
    lowered = name.lower()
    for family_id, words in families:
        if any(w in lowered for w in words):
            return family_id.removeprefix("family-")
    return None


def read_dumps(rows, families):
    """The vendor-firmware dumps, each with the model its machine type belongs to, by machine type.

    A coreboot build is no evidence for Lenovo's firmware."""
    variant_of = {}
    for row in rows:
        for variant in variants(row):
            for mtm in variant[2]:
                variant_of[mtm] = (row, variant)
    by_mtm = {}
    for dump in read_tsv(ACPI, ACPI_COLUMNS):
        if dump["firmware"] != "vendor":
            continue
        dump["ecs"] = set(words(dump["ec"], "|"))
        dump["methods"] = set(words(dump["hkey_methods"])) | {m.upper() for m in ("mlcg", "mlcs") if dump[m] == "yes"}
        dump["fields"] = set(words(dump["ec_fields"]))
        dump["guids"] = set(words(dump["wmi_guids"], "|"))
        dump["kblt"] = bool(words(dump["kblt"], "|"))
        dump["ucms"] = dump["ucms"] == "yes"
        dump["revision"] = int(dump["dytc_revision"]) if dump["dytc_revision"].isdigit() else None
        known = variant_of.get(dump["mtm"])
        dump["row"], dump["variant"] = known if known else (None, None)
        if known:
            dump["year"] = known[0]["year"]
            dump["platform"] = known[1][4]
            dump["family"] = family_of(known[0]["display_name"], families)
        by_mtm.setdefault(dump["mtm"], []).append(dump)
    return by_mtm


@dataclass
class Rule:
    feature: Feature
    group: str  # "toutes", or a family id without "family-"
    since: int
    dumps: list
    platforms: set = field(default_factory=set)

    def name(self):
        return self.feature.rule_name(self.group, self.since)

    def source(self):
        return f"{self.name()} ({len(self.dumps)} relevé{'s' if len(self.dumps) > 1 else ''})"

    def covers(self, row, profile_id, platform, family):
        return (row["year"] >= self.since and platform in self.platforms
                and (self.group == "toutes" or self.group == family))


def since_rule(feature, group, dumps):
    """From the first year on which every dump of the group, that year and later, shows the feature."""
    for year in sorted({d["year"] for d in dumps}):
        later = [d for d in dumps if d["year"] >= year]
        if all(feature.shown(d) for d in later):
            return Rule(feature, group, year, sorted(later, key=lambda d: (d["year"], d["hwid"])),
                        {d["platform"] for d in later})
    return None


def derive_rules(dumps_by_mtm):
    """For each feature, the broadest groupings that the dumps bear out: every line from a year on,
    then, for a family whose dumps show it earlier, that family from its own year on."""
    dumps = [d for found in dumps_by_mtm.values() for d in found if d["row"] is not None]
    rules = {}
    for feature in FEATURES:
        if not feature.rules:
            rules[feature.id] = []
            continue
        eligible = [d for d in dumps if feature.applies(d["row"], d["variant"][0])]
        found = []
        broadest = since_rule(feature, "toutes", eligible)
        if broadest:
            found.append(broadest)
        for family in sorted({d["family"] for d in eligible if d["family"]}):
            own = since_rule(feature, family, [d for d in eligible if d["family"] == family])
            if own and (not broadest or own.since < broadest.since):
                found.append(own)
        rules[feature.id] = found
    return rules


class Evidence:
    """What the dumps say of one profile: its own dumps, those of its line, platform and year, and the rules."""

    def __init__(self, own, group, where, problems):
        self.own, self.group, self.where, self.problems = own, group, where, problems

    def ec_confirmed(self, ec):
        """A model without a dump keeps an EC prefix that no dump of its line, platform and year contradicts."""
        return ec != "?" and all(ec in d["ecs"] for d in self.group)


def claim(feature, row, variant, family, evidence, rules):
    """('documented', sources) or ('assumed', sources), or None when the feature is left out."""
    profile_id, _, _, ec, platform = variant
    if not feature.applies(row, profile_id):
        return None
    if evidence.own:
        if all(feature.shown(d) for d in evidence.own):
            return "documented", [f"acpi:{d['hwid']}" for d in evidence.own]
        return None
    if feature.needs_ec and not evidence.ec_confirmed(ec):
        return None
    for rule in rules[feature.id]:
        if rule.covers(row, profile_id, platform, family):
            return "assumed", [rule.source()]
    return None


def capability(feature, ec, confidence, sources, notes):
    lines = ["", "[[capabilities]]", f"id = {toml_string(feature.id)}", f"label = {toml_string(feature.label)}",
             f"access = {feature.access(ec)}", f"confidence = {toml_string(confidence)}",
             f"sources = {toml_list(sources)}"]
    if feature.bounds is not None:
        lines.append(f"bounds = {{ min = {feature.bounds[0]}, max = {feature.bounds[1]} }}")
    lines.append(f"notes = {toml_string(notes)}")
    return lines


def render(row, variant, reports, evidence, rules, families):
    profile_id, name, types, ec, _ = variant
    family = family_of(row["display_name"], families)
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
        if ec not in dump["ecs"]:
            evidence.problems.append(f"{evidence.where}: the EC is {ec} in the table, {dump['ec']} in the firmware "
                                     f"of {dump['hwid']}: correct the table")
    body = ["", "schema_version = 1", f"id = {toml_string(profile_id)}", f"display_name = {toml_string(name)}",
            'scope = "model"', "", "[matches]", f"mtm = {toml_list(types)}"]
    for feature in FEATURES:
        decided = claim(feature, row, variant, family, evidence, rules)
        if decided is None:
            continue
        confidence, sources = decided
        notes = feature.notes
        if feature.id == "platform_profile" and confidence == "documented":
            revisions = sorted({d["revision"] for d in evidence.own})
            notes = f"Révision {'/'.join(str(r) for r in revisions)} dans les tables du modèle. " + notes
        body += capability(feature, ec, confidence, sources + list(feature.refs), notes)
    if row["ec_register"] == "documented":
        body += ["", "[[capabilities]]", 'id = "keyboard_backlight_ec"',
                 'label = "Rétroéclairage du clavier (registre du contrôleur embarqué)"',
                 'access = { method = "ec", offset = 0x0D }', 'confidence = "documented"',
                 f"sources = {toml_list([EC_RESEARCH])}", "bounds = { min = 0, max = 2 }",
                 'notes = "Niveau dans les bits 6 et 7 du registre 0x0D ; écrire par lecture-modification-écriture '
                 'sans toucher les autres bits."']
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
            evidence[variant[0]] = Evidence(own, group, f"{TABLE.name}: {variant[0]}", problems)
    return evidence


def rules_block(rules, dumps):
    """The rules, and the dumps behind each, for profiles/README.md."""
    unknown = sorted(d["hwid"] for found in dumps.values() for d in found if d["row"] is None)
    closing = ("Relevés dont le type de machine n'est celui d'aucun modèle de la table, qui ne portent donc "
               "aucune règle : " + (", ".join(unknown) if unknown else "aucun") + ".")
    return rules_table(RULES_BEGIN, RULES_END, FEATURES, rules, lambda d: f"{d['hwid']} ({d['variant'][0]}, {d['year']})",
                       closing)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="write nothing, report every difference")
    args = parser.parse_args()
    try:
        rows = read_table()
        reports = read_reports(REPORTS, "mtm")
        unplaced = read_tsv(UNPLACED, ["kind", "value", "reason"])
        families = read_families()
        dumps = read_dumps(rows, families)
    except TableError as error:
        print(f"make-profiles: {error}", file=sys.stderr)
        return 1

    problems = check_placement(rows, reports, unplaced, UNPLACED.name)
    ids = Counter(variant[0] for row in rows for variant in variants(row))
    problems += [f"id {i} is written {n} times" for i, n in ids.items() if n > 1]
    rules = derive_rules(dumps)
    evidence = evidence_for(rows, dumps, problems)
    wanted = {PROFILES / f"{variant[0]}.toml": render(row, variant, reports, evidence[variant[0]], rules, families)
              for row in rows for variant in variants(row)}
    try:
        lenovo, lenovo_rules = lenovo_profiles.build(set(ids) | {f"{v}-amd" for v in ids}, families, problems)
    except TableError as error:
        print(f"make-profiles: {error}", file=sys.stderr)
        return 1
    problems += [f"{p.name} is written from both tables" for p in lenovo if p in wanted]
    wanted.update(lenovo)
    generated_count = len(wanted)
    for path in sorted(PROFILES.glob("*.toml")):
        generated = path.read_text(encoding="utf-8").startswith((MARKER, lenovo_profiles.MARKER))
        if path not in wanted and generated:
            problems.append(f"{path.name} was written from the table but has no row any more")
        if path in wanted and not generated:
            problems.append(f"{path.name} is written by hand, but the table gives a profile {path.stem}")
            del wanted[path]
    readme = README.read_text(encoding="utf-8")
    begin, end = readme.find(RULES_BEGIN), readme.find(RULES_END)
    if begin < 0 or end < begin:
        problems.append(f"{README.relative_to(ROOT)} has no place for the rules ({RULES_BEGIN} … {RULES_END})")
    else:
        readme = readme[:begin] + rules_block(rules, dumps) + readme[end + len(RULES_END):]
        begin, end = readme.find(lenovo_profiles.RULES_BEGIN), readme.find(lenovo_profiles.RULES_END)
        if begin < 0 or end < begin:
            problems.append(f"{README.relative_to(ROOT)} has no place for the Lenovo rules")
        else:
            wanted[README] = readme[:begin] + lenovo_rules + readme[end + len(lenovo_profiles.RULES_END):]
    if problems:
        print("\n".join(f"make-profiles: {p}" for p in problems), file=sys.stderr)
        return 1

    stale = [p for p, text in wanted.items() if not p.exists() or p.read_text(encoding="utf-8") != text]
    if args.check:
        for path in stale:
            print(f"make-profiles: {path.relative_to(ROOT)} differs from the table: run scripts/make-profiles.py",
                  file=sys.stderr)
        print(f"make-profiles: {generated_count} profiles, {len(stale)} files out of date")
        return 1 if stale else 0
    for path in stale:
        path.write_text(wanted[path], encoding="utf-8", newline="\n")
    print(f"make-profiles: {generated_count} profiles, {len(stale)} files written")
    return 0


if __name__ == "__main__":
    sys.exit(main())
