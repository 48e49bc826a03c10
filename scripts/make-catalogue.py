#!/usr/bin/env python3
"""Writes the catalogue of a profile collection: one self-contained HTML page.

  scripts/make-catalogue.py [--profiles DIR] [--out FILE]

DIR is the profile directory as shipped (default profiles/ of the checkout),
read here as the program reads it: every *.toml directly inside it. FILE
defaults to build/catalogue/index.html. Everything is inline: the page works
opened from disk, and reads whole without JavaScript, which only adds the
search and the filters.

Each profile belongs to a line (ThinkPad, IdeaPad, Legion...): the column
`line` of data/lenovo-models.tsv for a profile whose id, family-<id> or family-zz-<id>, is a
row's, when the table is there; otherwise ThinkPad for a display name that
starts with it, and the display name's first word for any other.
"""

import argparse
import csv
import html
import re
import sys
import tomllib
from collections import Counter
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent

# The order of the matrix's columns: the battery first, then the rest as
# profiles/README.md lists them; an id outside it comes last, by name.
CAPABILITY_ORDER = [
    "charge_start_threshold", "charge_stop_threshold", "force_discharge", "charge_inhibit",
    "keyboard_backlight_pm", "keyboard_backlight_ec", "thinklight", "platform_profile", "mic_mute_led", "fn_lock",
    "privacy_screen", "palm_sensor", "keyboard_language", "bluetooth", "wwan", "fan_level", "fan_speed",
    "temperature_sensor", "bios_settings",
    "conservation_mode", "rapid_charge", "usb_charging", "keyboard_backlight", "keyboard_backlight_level",
    "camera_power", "smart_fan_mode", "power_limits",
]
LENOVO_MODELS = ROOT / "data" / "lenovo-models.tsv"
# The lines in the page's order; a line outside it comes after them, by
# name, and "Other" last of all.
LINE_ORDER = ["ThinkPad", "ThinkBook", "IdeaPad", "Yoga", "Slim", "Flex", "Legion", "LOQ", "V", "Essential", "3000",
              "MIIX", "Education", "XiaoXin", "ZhaoYang", "YangTian"]
LINE_LAST = "Other"
LINE_LABELS = {"other": "Autres modèles Lenovo"}
CONFIDENCES = [("validated", "validée", "V"), ("documented", "documentée", "D"), ("assumed", "supposée", "S")]
CONFIDENCE_TEXT = {key: (text, mark) for key, text, mark in CONFIDENCES}


def load(directory):
    """The profiles of `directory`, in the byte order of their file names."""
    profiles = []
    for path in sorted(directory.glob("*.toml"), key=lambda p: p.name.encode()):
        with open(path, "rb") as f:
            profiles.append(tomllib.load(f))
    return profiles


def table_lines(path):
    """Profile id -> line, from the rows of data/lenovo-models.tsv; empty
    when the table is not there."""
    if not path.is_file():
        return {}
    lines = {}
    with open(path, encoding="utf-8-sig", newline="") as f:
        for row in csv.DictReader(f, delimiter="\t", quoting=csv.QUOTE_NONE):
            line = (row.get("line") or "").strip()
            if row.get("id") and line and line != "-":
                lines[row["id"]] = lines["family-" + row["id"]] = lines["family-zz-" + row["id"]] = line
    return lines


def line_of(profile, table):
    if profile["id"] in table:
        return table[profile["id"]]
    name = profile["display_name"].strip()
    if name.startswith("ThinkPad"):
        return "ThinkPad"
    return name.split()[0] if name else LINE_LAST


def natural_key(text):
    """Digit runs compare as numbers, the rest case aside: "T14 Gen 2"
    before "T14 Gen 10", "ThinkPad 13" before "ThinkPad 13 2nd Gen"."""
    parts = re.split(r"(\d+)", text.casefold())
    return [int(part) if i % 2 else part for i, part in enumerate(parts)], text


def line_key(line):
    order = [name.casefold() for name in LINE_ORDER]
    folded = line.casefold()
    if folded in order:
        return 0, order.index(folded), natural_key(line)
    return (2 if folded == LINE_LAST.casefold() else 1), 0, natural_key(line)


def by_line(profiles, lines):
    """[(line, profiles of that line in the natural order of their names)],
    the lines in the page's order."""
    groups = {}
    for p in profiles:
        groups.setdefault(lines[p["id"]].casefold(), (lines[p["id"]], []))[1].append(p)
    return [(line, sorted(members, key=lambda p: natural_key(p["display_name"])))
            for line, members in sorted(groups.values(), key=lambda group: line_key(group[0]))]


def line_label(line):
    return LINE_LABELS.get(line.casefold(), line)


def line_anchor(line):
    return "gamme-" + (re.sub(r"[^a-z0-9]+", "-", line.casefold()).strip("-") or "autre")


def plural(count, word):
    return f"{count} {word}{'s' if count > 1 else ''}"


def french_list(items):
    return items[0] if len(items) == 1 else ", ".join(items[:-1]) + " et " + items[-1]


def totals(profiles):
    models = [p for p in profiles if p["scope"] == "model"]
    capabilities = Counter(c["confidence"] for p in models for c in p.get("capabilities", []))
    return {
        "models": len(models),
        "families": len(profiles) - len(models),
        "machine_types": len({m.upper() for p in models for m in p["matches"].get("mtm", [])}),
        "capabilities": sum(capabilities.values()),
        "by_confidence": {key: capabilities[key] for key, _, _ in CONFIDENCES},
        "with_firmware": sum(1 for p in models if any(s.startswith("acpi:") for c in p.get("capabilities", [])
                                                      for s in c["sources"])),
    }


def capability_ids(profiles):
    seen = {c["id"] for p in profiles for c in p.get("capabilities", [])}
    return [i for i in CAPABILITY_ORDER if i in seen] + sorted(seen - set(CAPABILITY_ORDER))


def e(text):
    return html.escape(str(text), quote=True)


def access_text(access):
    method = access["method"]
    if method == "acpi":
        return f"ACPI <code>{e(access['path'])}</code>"
    if method == "ec":
        return f"EC <code>0x{access['offset']:02X}</code>"
    if method == "wmi":
        return f"WMI <code>{e(access['class'])}.{e(access['property'])}</code>"
    if method == "msr":
        return f"MSR <code>0x{access['address']:X}</code>"
    return "profil de plateforme"


def confidence_mark(confidence):
    text, mark = CONFIDENCE_TEXT[confidence]
    return f'<span class="conf {e(confidence)}"><span aria-hidden="true">{mark}</span> {text}</span>'


def capability_rows(profile):
    rows = []
    for c in profile.get("capabilities", []):
        bounds = f"{c['bounds']['min']} à {c['bounds']['max']}" if "bounds" in c else "—"
        sources = "<br>".join(f"<code>{e(s)}</code>" for s in c["sources"])
        confidence = confidence_mark(c["confidence"])
        if "validated_on" in c:
            confidence += f"<br>{e(c['validated_on'])}"
        rows.append(f'<tr><th scope="row">{e(c["label"])}<br><code>{e(c["id"])}</code></th>'
                    f"<td>{access_text(c['access'])}</td><td>{bounds}</td><td>{confidence}</td>"
                    f"<td>{sources}</td><td>{e(c.get('notes', ''))}</td></tr>")
    return rows


def model_entry(profile):
    caps = profile.get("capabilities", [])
    counted = Counter(c["confidence"] for c in caps)
    summary = f"{len(caps)} capacité{'s' if len(caps) > 1 else ''}"
    if caps:
        summary += " : " + ", ".join(f"{counted[k]} {text}{'s' if counted[k] > 1 else ''}"
                                     for k, text, _ in CONFIDENCES if counted[k])
    types = profile["matches"].get("mtm", [])
    data = (f'data-id="{e(profile["id"])}" data-name="{e(profile["display_name"].lower())}" '
            f'data-mtm="{e(" ".join(m.upper() for m in types))}" '
            f'data-caps="{e(" ".join(c["id"] + ":" + c["confidence"] for c in caps))}"')
    out = [f'<article class="modele" id="profil-{e(profile["id"])}" {data}>',
           f'<h4>{e(profile["display_name"])} <code class="id">{e(profile["id"])}</code></h4>',
           "<p>Types de machine : " + ", ".join(f"<code>{e(m)}</code>" for m in types) + "</p>"]
    if caps:
        out += [f"<details><summary>{summary}</summary>",
                '<table class="capacites"><thead><tr><th scope="col">Capacité</th><th scope="col">Accès</th>'
                '<th scope="col">Bornes</th><th scope="col">Confiance</th><th scope="col">Sources</th>'
                '<th scope="col">Notes</th></tr></thead><tbody>', *capability_rows(profile), "</tbody></table>",
                "</details>"]
    else:
        out.append("<p>Aucune capacité connue.</p>")
    out.append("</article>")
    return "\n".join(out)


def model_entries(groups):
    out = []
    for line, members in groups:
        anchor = line_anchor(line)
        out += [f'<section class="gamme" id="{anchor}" data-gamme="{e(line)}" aria-labelledby="titre-{anchor}">',
                f'<h3 id="titre-{anchor}">{e(line_label(line))} <span class="id">({plural(len(members), "modèle")})'
                "</span></h3>", *(model_entry(p) for p in members), "</section>"]
    return "\n".join(out)


def matrix(groups, ids):
    head = "".join(f'<th scope="col"><span>{e(i)}</span></th>' for i in ids)
    bodies = []
    for line, members in groups:
        rows = [f'<tr class="gamme"><th scope="rowgroup" colspan="{len(ids) + 1}">{e(line_label(line))}</th></tr>']
        rows += matrix_rows(members, ids)
        bodies.append(f"<tbody>{''.join(rows)}</tbody>")
    return ('<div class="defile"><table class="matrice"><caption>Capacités par modèle : D documentée, S supposée, '
            f'V validée, case vide absente.</caption><thead><tr><th scope="col">Modèle</th>{head}</tr></thead>'
            f"{''.join(bodies)}</table></div>")


def matrix_rows(models, ids):
    rows = []
    for p in models:
        have = {c["id"]: c["confidence"] for c in p.get("capabilities", [])}
        cells = []
        for i in ids:
            if i in have:
                text, mark = CONFIDENCE_TEXT[have[i]]
                cells.append(f'<td class="{e(have[i])}" title="{e(i)} : {text}">{mark}</td>')
            else:
                cells.append('<td title="absente"></td>')
        rows.append(f'<tr data-id="{e(p["id"])}"><th scope="row"><a href="#profil-{e(p["id"])}">'
                    f'{e(p["display_name"])}</a></th>{"".join(cells)}</tr>')
    return rows


def families_table(families, lines):
    rows = []
    for p in families:
        words = ", ".join(f"«\u00a0{e(w)}\u00a0»" for w in p["matches"].get("version_contains", []))
        caps = ", ".join(f"<code>{e(c['id'])}</code> ({CONFIDENCE_TEXT[c['confidence']][0]})"
                         for c in p.get("capabilities", [])) or "aucune capacité : seulement le nom de la famille"
        rows.append(f'<tr><th scope="row">{e(p["display_name"])}<br><code>{e(p["id"])}</code></th>'
                    f"<td>{e(line_label(lines[p['id']]))}</td><td>{words}</td><td>{caps}</td></tr>")
    return ('<table><caption>Choisies quand aucun profil de modèle ne connaît le type de machine, dans cet '
            'ordre, si le nom commercial contient l\'un des mots.</caption><thead><tr><th scope="col">Famille</th>'
            '<th scope="col">Gamme</th><th scope="col">Mots cherchés</th><th scope="col">Capacités</th></tr></thead>'
            f"<tbody>{''.join(rows)}</tbody></table>")


STYLE = """
body { font-family: system-ui, sans-serif; color: #1a1a1a; background: #fff; margin: 0 auto; max-width: 80rem;
       padding: 0 1rem 3rem; line-height: 1.45; }
h1 { margin-top: 1.5rem; }
code { font-family: ui-monospace, monospace; font-size: 0.9em; overflow-wrap: anywhere; }
table { border-collapse: collapse; margin: 0.5rem 0; }
th, td { border: 1px solid #8a8a8a; padding: 0.25rem 0.4rem; vertical-align: top; text-align: left; }
thead th { background: #eceff3; }
caption { text-align: left; font-style: italic; padding: 0.25rem 0; }
.totaux td { text-align: right; }
.modele { border-top: 1px solid #c4c4c4; padding: 0.25rem 0; }
.gamme h3 { margin: 1.5rem 0 0.25rem; border-bottom: 2px solid #3d3d3d; }
.modele h4 { margin: 0.5rem 0 0.25rem; font-size: 1.05rem; }
.matrice tr.gamme th { background: #eceff3; text-align: left; font-size: 1.05rem; }
.id { color: #3d3d3d; font-weight: normal; }
.conf, .capacites td:nth-of-type(4) code { white-space: nowrap; }
.documented { background: #dcebff; }
.assumed { background: #fff1cc; }
.validated { background: #d7f2d7; }
.matrice td { text-align: center; font-weight: bold; min-width: 1.2rem; }
.matrice thead th span { writing-mode: vertical-rl; transform: rotate(180deg); white-space: nowrap; }
.defile { overflow-x: auto; }
form { display: flex; flex-wrap: wrap; gap: 0.5rem 1.5rem; align-items: end; }
form label { display: block; font-weight: bold; }
input, select { font: inherit; padding: 0.2rem; border: 1px solid #595959; max-width: 24rem; }
#q { width: 18rem; }
[hidden] { display: none !important; }
"""

SCRIPT = """
(function () {
  var form = document.getElementById('filtres');
  var query = document.getElementById('q');
  var feature = document.getElementById('capacite');
  var confidence = document.getElementById('confiance');
  var count = document.getElementById('compte');
  var entries = Array.prototype.slice.call(document.querySelectorAll('article.modele'));
  var groups = Array.prototype.slice.call(document.querySelectorAll('section.gamme, table.matrice tbody'));
  var rows = {};
  Array.prototype.forEach.call(document.querySelectorAll('table.matrice tr[data-id]'), function (row) {
    rows[row.getAttribute('data-id')] = row;
  });
  // A machine type as its sticker or BIOS screen gives it ("MTM 20L5",
  // "20L5-000UUS") comes down to its first four letters and digits.
  function machineType(q) {
    var t = q.replace(/^(machine\s+type(\s+model)?|mtm|mt|type)(?=[\s:#.\-]|\d)[\s:#.\-]*/, '');
    return /^[0-9][0-9a-z\-]*$/.test(t) ? t.replace(/-/g, '').slice(0, 4) : q;
  }
  function matches(entry) {
    var q = query.value.trim().toLowerCase();
    if (q) {
      var type = machineType(q);
      var types = entry.getAttribute('data-mtm').toLowerCase().split(' ');
      var byType = types.some(function (t) { return t && t.indexOf(type) === 0; });
      var byName = entry.getAttribute('data-name').indexOf(q) !== -1 ||
                   entry.getAttribute('data-id').indexOf(q) !== -1;
      if (!byType && !byName) return false;
    }
    var caps = entry.getAttribute('data-caps').split(' ').filter(Boolean).map(function (c) { return c.split(':'); });
    return caps.some(function (c) {
      return (!feature.value || c[0] === feature.value) && (!confidence.value || c[1] === confidence.value);
    }) || (!feature.value && !confidence.value);
  }
  function apply() {
    var shown = 0;
    entries.forEach(function (entry) {
      var keep = matches(entry);
      entry.hidden = !keep;
      var row = rows[entry.getAttribute('data-id')];
      if (row) row.hidden = !keep;
      if (keep) shown += 1;
    });
    groups.forEach(function (group) {
      group.hidden = !group.querySelector('article.modele:not([hidden]), tr[data-id]:not([hidden])');
    });
    count.textContent = shown + (shown > 1 ? ' modèles affichés' : ' modèle affiché') + ' sur ' + entries.length;
  }
  form.addEventListener('submit', function (event) { event.preventDefault(); });
  [query, feature, confidence].forEach(function (input) { input.addEventListener('input', apply); });
  form.hidden = false;
  apply();
})();
"""


def coverage(groups, families, lines):
    """The intro's list of lines, each with its counts, linked to its heading."""
    family_count = Counter(lines[p["id"]].casefold() for p in families)
    items = []
    for line, members in groups:
        counts = plural(len(members), "modèle")
        if family_count[line.casefold()]:
            counts += ", " + plural(family_count[line.casefold()], "famille")
        items.append(f'<a href="#{line_anchor(line)}">{e(line_label(line))}</a> ({counts})')
    only_families = sorted({lines[p["id"]] for p in families} - {line for line, _ in groups}, key=line_key)
    items += [f"{e(line_label(line))} ({plural(family_count[line.casefold()], 'famille')})" for line in only_families]
    if not items:
        return "Elle ne couvre aucune gamme."
    return f"Elle couvre {'la gamme' if len(items) == 1 else f'{len(items)} gammes :'} {french_list(items)}."


def meaning_sources(profiles):
    """Where the meaning of the methods comes from, as the profiles cite it."""
    cited = {s for p in profiles for c in p.get("capabilities", []) for s in c["sources"]}
    drivers = ["du pilote Linux <code>thinkpad_acpi</code> et de sa documentation"]
    if any(s.startswith("linux:ideapad") for s in cited):
        drivers.append("du pilote Linux <code>ideapad-laptop</code>")
    if any(s.startswith("linux:lenovo-wmi") for s in cited):
        drivers.append("de la documentation des pilotes Linux <code>lenovo-wmi</code>")
    return french_list(drivers)


def render(profiles, table=None):
    """The page; `table` is table_lines' answer, read from data/ when not given."""
    table = table_lines(LENOVO_MODELS) if table is None else table
    models = [p for p in profiles if p["scope"] == "model"]
    families = [p for p in profiles if p["scope"] != "model"]
    lines = {p["id"]: line_of(p, table) for p in profiles}
    groups = by_line(models, lines)
    t = totals(profiles)
    ids = capability_ids(profiles)
    by_confidence = "".join(f'<tr><th scope="row">Capacités {text}s</th><td>{t["by_confidence"][k]}</td></tr>'
                            for k, text, _ in CONFIDENCES)
    labels = {}
    for c in (c for p in profiles for c in p.get("capabilities", [])):
        labels.setdefault(c["id"], c["label"])
    feature_options = "".join(f'<option value="{e(i)}">{e(labels.get(i, i))} ({e(i)})</option>' for i in ids)
    confidence_options = "".join(f'<option value="{k}">{text}</option>' for k, text, _ in CONFIDENCES)
    return f"""<!doctype html>
<html lang="fr">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Catalogue des profils d'ostrane</title>
<style>{STYLE}</style>
</head>
<body>
<header>
<h1>Catalogue des profils d'ostrane</h1>
<p>Ce que la collection de profils livrée avec ostrane sait de chaque portable Lenovo qu'elle connaît : ses types
de machine et ce que son micrologiciel offre, avec la voie d'accès, la confiance et les sources de chaque capacité.
{coverage(groups, families, lines)}</p>
<p>Une machine qu'aucun profil ne reconnaît, ni par son type de machine ni par un mot de famille dans son nom
commercial, reçoit la résolution <code>dynamic_probe</code> si c'est un ThinkPad ou le portable d'un autre
fabricant que le programme reconnaît (Dell, HP, ASUS, Acer…) ; toute autre machine, un Lenovo absent de la
collection compris, reçoit <code>unsupported</code>.</p>
<p>Une capacité <strong>documentée</strong> est montrée par les tables ACPI du modèle même ; une capacité
<strong>supposée</strong> l'est par une règle que portent celles d'autres modèles ; <code>profiles/README.md</code>
explique les règles et les références des sources.</p>
</header>
<main>
<section aria-labelledby="titre-totaux">
<h2 id="titre-totaux">En chiffres</h2>
<table class="totaux"><caption>La collection en chiffres</caption><tbody>
<tr><th scope="row">Profils de modèle</th><td>{t["models"]}</td></tr>
<tr><th scope="row">Profils de famille</th><td>{t["families"]}</td></tr>
<tr><th scope="row">Types de machine</th><td>{t["machine_types"]}</td></tr>
<tr><th scope="row">Capacités des profils de modèle</th><td>{t["capabilities"]}</td></tr>
{by_confidence}
<tr><th scope="row">Modèles appuyés par leurs propres tables ACPI</th><td>{t["with_firmware"]}</td></tr>
</tbody></table>
</section>
<section aria-labelledby="titre-modeles">
<h2 id="titre-modeles">Modèles</h2>
<form id="filtres" role="search" hidden>
<div><label for="q">Nom ou type de machine</label><input id="q" type="search" placeholder="X1 Carbon, IdeaPad 5, 20XW000UUS…"></div>
<div><label for="capacite">Capacité</label><select id="capacite"><option value="">toutes</option>{feature_options}</select></div>
<div><label for="confiance">Confiance</label><select id="confiance"><option value="">toutes</option>{confidence_options}</select></div>
<p id="compte" aria-live="polite"></p>
</form>
{model_entries(groups)}
</section>
<section aria-labelledby="titre-matrice">
<h2 id="titre-matrice">Les capacités de chaque modèle</h2>
{matrix(groups, ids)}
</section>
<section aria-labelledby="titre-familles">
<h2 id="titre-familles">Familles</h2>
{families_table(families, lines)}
</section>
<section aria-labelledby="titre-credits">
<h2 id="titre-credits">Crédits</h2>
<p>Les identités et les types de machine viennent de la collection DMI du projet linux-hardware.org, et les faits
des tables ACPI de sa collection ACPI (rapports envoyés par des utilisateurs de Linux), sous licence Creative
Commons Attribution 4.0 International (CC BY 4.0, https://creativecommons.org/licenses/by/4.0/). Le sens des
méthodes et des registres vient {meaning_sources(profiles)}.</p>
<p>Ostrane est un projet indépendant et NON OFFICIEL. Il n'est ni développé, ni approuvé, ni soutenu par Lenovo.
ThinkPad et Lenovo sont des marques de Lenovo.</p>
</section>
</main>
<script>{SCRIPT}</script>
</body>
</html>
"""


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--profiles", type=Path, default=ROOT / "profiles")
    parser.add_argument("--out", type=Path, default=ROOT / "build" / "catalogue" / "index.html")
    parser.add_argument("--lenovo-models", type=Path, default=LENOVO_MODELS,
                        help="table qui donne sa gamme à chaque profil Lenovo (facultative)")
    args = parser.parse_args(argv)
    try:
        profiles = load(args.profiles)
    except (OSError, tomllib.TOMLDecodeError, KeyError) as error:
        print(f"make-catalogue: {args.profiles}: {error}", file=sys.stderr)
        return 1
    try:
        table = table_lines(args.lenovo_models)
    except (OSError, UnicodeDecodeError, csv.Error) as error:
        print(f"make-catalogue: {args.lenovo_models}: {error}", file=sys.stderr)
        return 1
    page = render(profiles, table)
    args.out.parent.mkdir(parents=True, exist_ok=True)
    args.out.write_text(page, encoding="utf-8", newline="\n")
    t = totals(profiles)
    print(f"make-catalogue: {args.out} ({len(page.encode()) // 1024} KiB): {t['models']} models, "
          f"{t['families']} families, {t['capabilities']} capabilities")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
