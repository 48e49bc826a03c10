"""The profiles of the Lenovo laptops that are not ThinkPads, for scripts/make-profiles.py.

data/lenovo-models.tsv has one row per model; each row gives a model profile
<id>.toml when it lists machine types, and a family profile family-<id>.toml,
found by words of the model's name, when it lists product numbers (the older
laptops' product names, which carry no machine type) or family words. The
capabilities come from data/lenovo-acpi.tsv, the facts that scripts/read-acpi.py
reads from the VPC2004 device and the WMI blocks of real firmware tables: a
model's own dumps document what they all show; a model without a dump takes
only what a rule of its line and platform bears out, and the path of the rule.
"""

import csv
import re
from collections import Counter
from dataclasses import dataclass

from profile_tables import (DATA, ROOT, TableError, check_placement, check_row_id, read_reports, read_tsv,
                            rules_table, toml_list, toml_string, words)

TABLE = DATA / "lenovo-models.tsv"
REPORTS = DATA / "lenovo-mtm.tsv"
PRODUCT_NUMBERS = DATA / "lenovo-product-numbers.tsv"
UNPLACED = DATA / "lenovo-unplaced.tsv"
ACPI = DATA / "lenovo-acpi.tsv"
THINKPAD_REPORTS = DATA / "thinkpad-mtm.tsv"
SAMPLE = DATA / "identities-sample.tsv"
ACPI_COLUMNS = ["hwid", "model", "mtm", "product_number", "firmware", "dsdt_oem", "ec", "vpc", "vpc_methods",
                "gbmd_bits", "sbmc_commands", "hals_bits", "sals_commands", "kblc_commands", "cfg_bits", "dytc",
                "dytc_revision", "wmi_guids"]
COLUMNS = ["id", "display_name", "aliases", "mtm", "product_numbers", "family_words", "line", "platform", "year",
           "note"]
LINES = ["IdeaPad", "Yoga", "Legion", "LOQ", "ThinkBook", "V", "Flex", "Essential", "3000", "XiaoXin", "ZhaoYang",
         "YangTian", "Education", "MIIX", "Slim", "Other"]
PLATFORMS = {"intel", "amd", "arm", "?"}
RULES_BEGIN = "<!-- Règles Lenovo : écrit par scripts/make-profiles.py, ne pas modifier à la main. -->"
RULES_END = "<!-- Fin des règles Lenovo. -->"
MARKER = "# Écrit par scripts/make-profiles.py à partir de data/lenovo-models.tsv : modifier la table, pas ce fichier."

# Short references, each explained once in profiles/README.md.
IDEAPAD = "linux:ideapad-laptop.c"
RAPID_CHARGE_PATCH = "linux:20251105182832.104946-5-i@rong.moe"
GAMEZONE_DOC = "linux:lenovo-wmi-gamezone.rst"
OTHER_DOC = "linux:lenovo-wmi-other.rst"
THINK_LMI = "linux:think-lmi.c"
PROFILE_DOC = "linux:sysfs-platform_profile.rst"

GAMEZONE_GUID = "887B54E3-DDDC-4B2C-8B88-68A26A8835D0"
OTHER_MODE_GUID = "DC2A8805-3A8C-41BA-A6F7-092E0089CD3B"
CAPABILITY_DATA_01_GUID = "7A8F5407-CB67-4D6E-B547-39B3BE018154"
BIOS_SETTING_GUIDS = {"51F5230E-9677-46CD-A1CF-C0B23EE34DB7", "98479A64-33F5-4E33-A707-8E251EBBC3A1",
                      "6A4B54EF-A5ED-4D33-9455-B0D9B48DF4B3"}
# ideapad-laptop offers DYTC's platform profile from this revision on (4 only on two listed models).
MIN_DYTC_REVISION = 5
# A rule stands for a model's own dump only when this many dumps bear it out.
MIN_RULE_DUMPS = 2


def takes(commands, *wanted):
    """The method compares its argument with every wanted command, or with none that the code shows."""
    return commands is None or set(wanted) <= commands


@dataclass(frozen=True)
class Feature:
    id: str
    label: str
    shown: object  # (dump) -> bool
    method: str  # the VPC method of the access, or "" for a WMI or platform access
    access: str  # the TOML of a WMI or platform access
    notes: str
    refs: tuple
    bounds: tuple = None

    def access_for(self, vpc):
        return f"{{ method = \"acpi\", path = '{vpc}.{self.method}' }}" if self.method else self.access


def methods(*names):
    return lambda d: set(names) <= d["methods"]


FEATURES = [
    Feature("conservation_mode", "Mode conservation de la batterie",
            lambda d: methods("GBMD", "SBMC")(d) and takes(d["sbmc"], 0x03, 0x05), "SBMC", "",
            "GBMD() bit 5 = actif ; SBMC(3) active, SBMC(5) coupe : la charge s'arrête vers 60 à 80 % selon le "
            "modèle.", (IDEAPAD, RAPID_CHARGE_PATCH), (0, 1)),
    Feature("rapid_charge", "Charge rapide",
            lambda d: methods("GBMD", "SBMC")(d) and d["sbmc"] is not None and {0x07, 0x08} <= d["sbmc"]
            and 17 in d["gbmd"], "SBMC", "",
            "GBMD() bit 17 = prise en charge, bit 2 = active ; SBMC(7) active, SBMC(8) coupe ; exclut le mode "
            "conservation.", (RAPID_CHARGE_PATCH,), (0, 1)),
    Feature("fn_lock", "Verrouillage de Fn",
            lambda d: methods("HALS", "SALS")(d) and 9 in d["hals"] and takes(d["sals"], 0x0E, 0x0F), "SALS", "",
            "HALS() bit 9 = pris en charge, bit 10 = verrouillé ; SALS(0xE) verrouille, SALS(0xF) libère.",
            (IDEAPAD,), (0, 1)),
    Feature("usb_charging", "Charge USB ordinateur éteint",
            lambda d: methods("HALS", "SALS")(d) and 6 in d["hals"] and takes(d["sals"], 0x0A, 0x0B), "SALS", "",
            "HALS() bit 6 = pris en charge, bit 7 = active ; SALS(0xA) active, SALS(0xB) coupe.",
            (IDEAPAD,), (0, 1)),
    Feature("keyboard_backlight", "Rétroéclairage du clavier (marche ou arrêt)",
            lambda d: methods("HALS", "SALS")(d) and 4 in d["hals"] and takes(d["sals"], 0x08, 0x09), "SALS", "",
            "HALS() bit 4 = clavier rétroéclairé (selon la configuration), bit 5 = allumé ; SALS(8) allume, "
            "SALS(9) éteint.", (IDEAPAD,), (0, 1)),
    Feature("keyboard_backlight_level", "Rétroéclairage du clavier (niveaux, KBLC)",
            lambda d: methods("KBLC")(d) and takes(d["kblc"], 0x01, 0x02, 0x03), "KBLC", "",
            "KBLC(1) rend le type : 5 = trois niveaux, 7 = trois niveaux et automatique ; lecture KBLC(0x22 ou "
            "0x32), écriture KBLC(0x23 ou 0x33 | niveau << 16) ; 3 lu = automatique.", (IDEAPAD,), (0, 2)),
    Feature("camera_power", "Alimentation de la caméra",
            lambda d: methods("VPCR", "VPCW")(d) and 19 in d["cfg"], "VPCW", "",
            "_CFG() bit 19 = caméra ; lecture VPCW(1, 0x1D) puis VPCR(0), écriture VPCW(0, état) puis "
            "VPCW(1, 0x1E), chaque fois jusqu'à VPCR(1) = 0.", (IDEAPAD,), (0, 1)),
    Feature("platform_profile", "Profil de performance (DYTC)",
            lambda d: methods("DYTC")(d) and (d["revision"] or 0) >= MIN_DYTC_REVISION, "",
            '{ method = "platform_profile" }',
            "DYTC(0) : bits 28-31 = révision, 5 ou plus ; profils bas (mode 3), équilibré (0xF), performance (2).",
            (IDEAPAD, PROFILE_DOC)),
    Feature("smart_fan_mode", "Mode thermique GameZone (WMI)", lambda d: GAMEZONE_GUID in d["guids"], "",
            '{ method = "wmi", class = "LENOVO_GAMEZONE_DATA", property = "GetSmartFanMode" }',
            f"GUID {GAMEZONE_GUID} ; IsSupportSmartFan() au moins 1 ; GetSmartFanMode, SetSmartFanMode : "
            "1 silencieux, 2 équilibré, 3 performance, 0xE0 extrême (version 6 et plus), 0xFF personnalisé.",
            (GAMEZONE_DOC,)),
    Feature("power_limits", "Limites de puissance du processeur (WMI)",
            lambda d: {OTHER_MODE_GUID, CAPABILITY_DATA_01_GUID} <= d["guids"], "",
            '{ method = "wmi", class = "LENOVO_OTHER_METHOD", property = "GetFeatureValue" }',
            f"GUID {OTHER_MODE_GUID} ; GetFeatureValue, SetFeatureValue(0x01 << 24 | fonction << 16 | mode << 8) "
            f": fonctions 1 SPPT, 2 SPL, 3 FPPT ; bornes par mode dans {CAPABILITY_DATA_01_GUID} ; écriture "
            "seulement en mode GameZone personnalisé.", (OTHER_DOC,)),
    Feature("bios_settings", "Réglages du BIOS (WMI)", lambda d: BIOS_SETTING_GUIDS <= d["guids"], "",
            '{ method = "wmi", class = "Lenovo_BiosSetting", property = "CurrentSetting" }',
            "Chaque instance rend « Nom,Valeur » ; Lenovo_SetBiosSetting(« Nom,Valeur; ») puis "
            "Lenovo_SaveBiosSettings ; effet au redémarrage.", (THINK_LMI,)),
]


def normalized(name):
    """A name as the dumps and the reports may both write it: no maker word, case or spacing."""
    text = re.sub(r"^lenovo[\s-]+", "", name.strip().lower())
    return re.sub(r"\s+", " ", text)


def read_table(thinkpad_ids):
    rows = read_tsv(TABLE, COLUMNS)
    for row in rows:
        where = f"{TABLE.name}: {row['id']}"
        check_row_id(where, row["id"])
        if row["id"] in thinkpad_ids:
            raise TableError(f"{where}: the id is a ThinkPad profile's")
        if row["line"] not in LINES or row["platform"] not in PLATFORMS:
            raise TableError(f"{where}: line must be one of {LINES}, platform one of {sorted(PLATFORMS)}")
        row["aliases"] = words(row["aliases"], "|")
        row["mtm"] = words(row["mtm"])
        row["product_numbers"] = words(row["product_numbers"])
        row["family_words"] = words(row["family_words"], "|")
        row["note"] = "" if row["note"] == "-" else row["note"]
        if any(not re.fullmatch(r"[0-9A-Z]{4}", m) for m in row["mtm"]):
            raise TableError(f"{where}: machine types are four upper-case ASCII letters or digits")
        if any(not re.fullmatch(r"[0-9]{5}", n) for n in row["product_numbers"]):
            raise TableError(f"{where}: product numbers are five digits")
        if not row["mtm"] and not row["product_numbers"]:
            raise TableError(f"{where}: a row lists machine types, product numbers or both")
        if row["product_numbers"] and not row["family_words"]:
            raise TableError(f"{where}: a row with product numbers needs family words")
        if row["id"].startswith("zz-"):
            raise TableError(f"{where}: an id never starts with zz-, which orders the families")
        if not re.fullmatch(r"(19|20)\d\d|\?", row["year"]):
            raise TableError(f"{where}: the year is four digits, or ? when no report dates a BIOS")
        row["year"] = None if row["year"] == "?" else int(row["year"])
    return rows


def name_owners(rows):
    """Each name of a row (its display name and aliases) -> the row's id."""
    return {name: row["id"] for row in rows for name in [row["display_name"], *row["aliases"]]}


def family_stems(rows, owner):
    """The file stem of each row's family: family-<id>, or family-zz-<id> when its words also occur in the
    names of other models, whose own families must then be tried first (the family pass takes the first
    file, in byte order, whose word it finds)."""
    stems = {}
    for row in rows:
        if row["family_words"]:
            wider = any(w.lower() in n.lower() and owner[n] != row["id"] for w in row["family_words"] for n in owner)
            stems[row["id"]] = ("family-zz-" if wider else "family-") + row["id"]
    return stems


def check_families(rows, owner, stems, reports, thinkpad_reports, thinkpad_families):
    """Runs the family pass over every name the reports give: a Lenovo model's name reaches its own family,
    or none when the model has none; a ThinkPad's name or a noise text reaches no Lenovo family."""
    problems = []
    families = sorted([(stems[row["id"]], row["id"], [w.lower() for w in row["family_words"]])
                       for row in rows if row["id"] in stems]
                      + [(family_id, None, words) for family_id, words in thinkpad_families],
                      key=lambda f: (f[0] + ".toml").encode())
    names = {n for _, found in [*reports.values(), *thinkpad_reports.values()] for n, _ in found}
    for name in sorted(names):
        taken = next((f for f in families if any(w in name.lower() for w in f[2])), None)
        expected = stems.get(owner.get(name))
        got = taken[0] if taken and taken[1] is not None else None
        if got != expected and (expected is not None or got is not None):
            problems.append(f"{TABLE.name}: the name '{name}' reaches {taken[0] if taken else 'no family'}, "
                            f"not {expected or 'no Lenovo family'}")
    # The family pass looks at no maker: another maker's texts, codes included, must hold no word.
    with open(SAMPLE, encoding="utf-8", newline="") as f:
        others = [r for r in csv.DictReader(f, delimiter="\t") if "lenovo" not in r["system_manufacturer"].lower()]
    for row in rows:
        for word in row["family_words"]:
            for other in others:
                texts = [other[k] for k in ("system_version", "system_family", "system_product_name",
                                            "baseboard_product")]
                if any(word.lower() in t.lower() for t in texts):
                    problems.append(f"{TABLE.name}: {row['id']}: the family word '{word}' catches "
                                    f"{other['system_manufacturer']} {other['system_product_name']}")
            if not any(word.lower() in n.lower() for n, o in owner.items() if o == row["id"]):
                problems.append(f"{TABLE.name}: {row['id']}: the family word '{word}' catches none of its names")
    return problems


def read_dumps(rows, owner):
    """The vendor-firmware dumps, each with its row (by machine type, product number or, lacking both, name)."""
    row_of = {key: row for row in rows for key in [*row["mtm"], *row["product_numbers"]]}
    by_id = {row["id"]: row for row in rows}
    by_name = {normalized(name): by_id[row_id] for name, row_id in owner.items()}
    dumps = []
    for dump in read_tsv(ACPI, ACPI_COLUMNS):
        if dump["firmware"] != "vendor":
            continue
        vpcs = words(dump["vpc"], "|")
        dump["vpc_path"] = vpcs[0] if len(vpcs) == 1 else None
        dump["methods"] = set(words(dump["vpc_methods"]))
        dump["gbmd"] = {int(b) for b in words(dump["gbmd_bits"])}
        dump["hals"] = {int(b) for b in words(dump["hals_bits"])}
        dump["cfg"] = {int(b) for b in words(dump["cfg_bits"])}
        for column, key in (("sbmc_commands", "sbmc"), ("sals_commands", "sals"), ("kblc_commands", "kblc")):
            dump[key] = {int(c, 16) for c in words(dump[column])} or None
        dump["guids"] = set(words(dump["wmi_guids"], "|"))
        dump["revision"] = int(dump["dytc_revision"]) if dump["dytc_revision"].isdigit() else None
        key = dump["mtm"] if dump["mtm"] != "-" else dump["product_number"]
        dump["row"] = row_of.get(key) if key != "-" else by_name.get(normalized(dump["model"]))
        dumps.append(dump)
    return dumps


@dataclass
class Rule:
    feature: Feature
    line: str
    platform: str
    since: int
    dumps: list
    vpc: str

    def name(self):
        return f"règle:{self.line.lower()}-{self.platform}-{self.since}"

    def source(self):
        return f"{self.name()} ({len(self.dumps)} relevés)"


def shown_on_one_path(feature, dumps):
    """(True, the VPC path) when every dump shows the feature, on one and the same path when its access is one."""
    paths = {d["vpc_path"] for d in dumps}
    one = len(paths) == 1 and None not in paths
    return all(feature.shown(d) for d in dumps) and (one or not feature.method), paths.pop() if one else None


def derive_rules(dumps):
    """Per feature, line and platform: from the first year on which every dump of that year and after shows
    the feature, on one and the same VPC path when the access is a path, with enough dumps to stand for others."""
    rules = {f.id: [] for f in FEATURES}
    groups = {}
    for d in dumps:
        if d["row"] is not None and d["row"]["platform"] in {"intel", "amd"} and d["row"]["year"] is not None:
            groups.setdefault((d["row"]["line"], d["row"]["platform"]), []).append(d)
    for feature in FEATURES:
        for (line, platform), group in sorted(groups.items()):
            for year in sorted({d["row"]["year"] for d in group}):
                later = sorted((d for d in group if d["row"]["year"] >= year), key=lambda d: (d["row"]["year"], d["hwid"]))
                if len(later) < MIN_RULE_DUMPS:
                    break
                shown, vpc = shown_on_one_path(feature, later)
                if shown:
                    rules[feature.id].append(Rule(feature, line, platform, year, later, vpc))
                    break
    return rules


def claim(feature, row, own, rules):
    """(confidence, sources, VPC path) for the row, or None when the feature is left out."""
    if own:
        shown, vpc = shown_on_one_path(feature, own)
        return ("documented", [f"acpi:{d['hwid']}" for d in own], vpc) if shown else None
    for rule in rules[feature.id]:
        if rule.line == row["line"] and rule.platform == row["platform"] and (row["year"] or 0) >= rule.since:
            return "assumed", [rule.source()], rule.vpc
    return None


def capabilities(row, own, rules):
    lines = []
    for feature in FEATURES:
        decided = claim(feature, row, own, rules)
        if decided is None:
            continue
        confidence, sources, vpc = decided
        notes = feature.notes
        if feature.id == "platform_profile" and confidence == "documented":
            notes = f"Révision {'/'.join(sorted({d['dytc_revision'] for d in own}))} dans les tables du modèle. " + notes
        lines += ["", "[[capabilities]]", f"id = {toml_string(feature.id)}", f"label = {toml_string(feature.label)}",
                  f"access = {feature.access_for(vpc)}", f"confidence = {toml_string(confidence)}",
                  f"sources = {toml_list(sources + list(feature.refs))}"]
        if feature.bounds is not None:
            lines.append(f"bounds = {{ min = {feature.bounds[0]}, max = {feature.bounds[1]} }}")
        lines.append(f"notes = {toml_string(notes)}")
    return lines


def header(row, own, counted, what):
    seen = ", ".join(f"{m} ({n})" for m, n in counted)
    year = f"{row['year']} ou avant : plus ancien BIOS des rapports" if row["year"] else "aucun BIOS daté dans les rapports"
    out = [MARKER, f"# {row['display_name']} ({row['line']}, {year}).",
           f"# {what} : {seen} ; {sum(n for _, n in counted)} rapports au total."]
    if row["aliases"]:
        out.append("# Autres noms annoncés : " + ", ".join(f"« {a} »" for a in row["aliases"]) + ".")
    if row["note"]:
        out.append(f"# {row['note']}")
    for dump in own:
        out.append(f"# Tables ACPI du modèle : rapport {dump['hwid']} (« {dump['model']} »).")
    return out


def render_model(row, own, reports, rules):
    counted = [(m, reports[m][0]) for m in row["mtm"] if m in reports]
    body = ["", "schema_version = 1", f"id = {toml_string(row['id'])}", f"display_name = {toml_string(row['display_name'])}",
            'scope = "model"', "", "[matches]", f"mtm = {toml_list(row['mtm'])}"]
    return "\n".join(header(row, own, counted, "Types de machine relevés dans les rapports publics")
                     + body + capabilities(row, own, rules)) + "\n"


def render_family(row, stem, own, reports, rules):
    counted = [(n, reports[n][0]) for n in row["product_numbers"] if n in reports]
    out = header(row, own, counted, "Numéros de produit relevés dans les rapports publics, sans type de machine")
    out.insert(1, "# Famille d'un seul modèle : choisie quand aucun profil de modèle ne connaît le type de machine et "
                  "que le nom commercial contient l'un des mots ci-dessous (sans tenir compte de la casse).")
    body = ["", "schema_version = 1", f"id = {toml_string(stem)}",
            f"display_name = {toml_string(row['display_name'] + ' (famille)')}", 'scope = "family"', "", "[matches]",
            f"version_contains = {toml_list(row['family_words'])}"]
    return "\n".join(out + body + capabilities(row, own, rules)) + "\n"


def rules_block(rules, dumps):
    unknown = sorted(f"{d['hwid']} (« {d['model']} »)" for d in dumps if d["row"] is None)
    closing = ("Relevés qu'aucune ligne de la table ne nomme, qui ne portent donc aucune règle : "
               + (", ".join(unknown) if unknown else "aucun") + ".")
    return rules_table(RULES_BEGIN, RULES_END, FEATURES, rules, lambda d: f"{d['hwid']} ({d['row']['id']}, {d['row']['year']})",
                       closing)


def build(thinkpad_ids, thinkpad_families, problems):
    """{path: text} of every Lenovo profile, and the rules block of profiles/README.md."""
    rows = read_table(thinkpad_ids)
    reports = read_reports(REPORTS, "mtm")
    reports.update(read_reports(PRODUCT_NUMBERS, "product_number"))
    thinkpad_reports = read_reports(THINKPAD_REPORTS, "mtm")
    unplaced = read_tsv(UNPLACED, ["kind", "value", "reason"])
    placed_rows = [{**row, "mtm": row["mtm"] + row["product_numbers"]} for row in rows]
    problems += check_placement(placed_rows, reports, unplaced, UNPLACED.name, ("mtm", "product_number", "name"))
    problems += [f"{TABLE.name}: {m} is a ThinkPad machine type" for row in rows for m in row["mtm"]
                 if m in thinkpad_reports]
    owner = name_owners(rows)
    stems = family_stems(rows, owner)
    problems += check_families(rows, owner, stems, reports, thinkpad_reports, thinkpad_families)
    ids = Counter(row["id"] for row in rows)
    problems += [f"{TABLE.name}: id {i} is written {n} times" for i, n in ids.items() if n > 1]
    dumps = read_dumps(rows, owner)
    rules = derive_rules(dumps)
    wanted = {}
    for row in rows:
        # A model profile stands on the dumps of its machine types, a family on those found by product
        # number or name: the machines each of them is chosen for.
        own = [d for d in dumps if d["row"] is row]
        typed = [d for d in own if d["mtm"] in row["mtm"]]
        if row["mtm"]:
            wanted[ROOT / "profiles" / f"{row['id']}.toml"] = render_model(row, typed, reports, rules)
        if row["id"] in stems:
            stem = stems[row["id"]]
            untyped = [d for d in own if d not in typed]
            wanted[ROOT / "profiles" / f"{stem}.toml"] = render_family(row, stem, untyped, reports, rules)
    return wanted, rules_block(rules, dumps)
