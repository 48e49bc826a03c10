#!/usr/bin/env python3
"""Writes the catalogue of a profile collection: one self-contained HTML page.

  scripts/make-catalogue.py [--profiles DIR] [--out FILE]

DIR is the profile directory as shipped (default profiles/ of the checkout),
read here as the program reads it: every *.toml directly inside it. FILE
defaults to build/catalogue/index.html. Everything is inline: the page works
opened from disk, and reads whole without JavaScript, which only adds the
search and the filters.
"""

import argparse
import html
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
]
CONFIDENCES = [("validated", "validée", "V"), ("documented", "documentée", "D"), ("assumed", "supposée", "S")]
CONFIDENCE_TEXT = {key: (text, mark) for key, text, mark in CONFIDENCES}


def load(directory):
    """The profiles of `directory`, in the byte order of their file names."""
    profiles = []
    for path in sorted(directory.glob("*.toml"), key=lambda p: p.name.encode()):
        with open(path, "rb") as f:
            profiles.append(tomllib.load(f))
    return profiles


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
           f'<h3>{e(profile["display_name"])} <code class="id">{e(profile["id"])}</code></h3>',
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


def matrix(models, ids):
    head = "".join(f'<th scope="col"><span>{e(i)}</span></th>' for i in ids)
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
    return ('<div class="defile"><table class="matrice"><caption>Capacités par modèle : D documentée, S supposée, '
            f'V validée, case vide absente.</caption><thead><tr><th scope="col">Modèle</th>{head}</tr></thead>'
            f"<tbody>{''.join(rows)}</tbody></table></div>")


def families_table(families):
    rows = []
    for p in families:
        words = ", ".join(f"«\u00a0{e(w)}\u00a0»" for w in p["matches"].get("version_contains", []))
        caps = ", ".join(f"<code>{e(c['id'])}</code> ({CONFIDENCE_TEXT[c['confidence']][0]})"
                         for c in p.get("capabilities", [])) or "—"
        rows.append(f'<tr><th scope="row">{e(p["display_name"])}<br><code>{e(p["id"])}</code></th>'
                    f"<td>{words}</td><td>{caps}</td></tr>")
    return ('<table><caption>Choisies quand aucun profil de modèle ne connaît le type de machine, dans cet '
            'ordre, si le nom commercial contient l\'un des mots.</caption><thead><tr><th scope="col">Famille</th>'
            '<th scope="col">Mots cherchés</th><th scope="col">Capacités</th></tr></thead>'
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
.modele h3 { margin: 0.5rem 0 0.25rem; }
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
  var rows = {};
  Array.prototype.forEach.call(document.querySelectorAll('table.matrice tbody tr'), function (row) {
    rows[row.getAttribute('data-id')] = row;
  });
  function matches(entry) {
    var q = query.value.trim().toLowerCase();
    if (q) {
      var types = entry.getAttribute('data-mtm').toLowerCase().split(' ');
      var byType = types.some(function (t) { return t && t.indexOf(q) === 0; });
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
    count.textContent = shown + (shown > 1 ? ' modèles affichés' : ' modèle affiché') + ' sur ' + entries.length;
  }
  form.addEventListener('submit', function (event) { event.preventDefault(); });
  [query, feature, confidence].forEach(function (input) { input.addEventListener('input', apply); });
  form.hidden = false;
  apply();
})();
"""


def render(profiles):
    models = [p for p in profiles if p["scope"] == "model"]
    families = [p for p in profiles if p["scope"] != "model"]
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
<p>Ce que la collection de profils livrée avec ostrane sait de chaque ThinkPad : ses types de machine et ce que
son micrologiciel offre, avec la voie d'accès, la confiance et les sources de chaque capacité.
Une capacité <strong>documentée</strong> est montrée par les tables ACPI du modèle même ; une capacité
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
<div><label for="q">Nom ou type de machine</label><input id="q" type="search" placeholder="X1 Carbon, 20XW…"></div>
<div><label for="capacite">Capacité</label><select id="capacite"><option value="">toutes</option>{feature_options}</select></div>
<div><label for="confiance">Confiance</label><select id="confiance"><option value="">toutes</option>{confidence_options}</select></div>
<p id="compte" aria-live="polite"></p>
</form>
{chr(10).join(model_entry(p) for p in models)}
</section>
<section aria-labelledby="titre-matrice">
<h2 id="titre-matrice">Les capacités de chaque modèle</h2>
{matrix(models, ids)}
</section>
<section aria-labelledby="titre-familles">
<h2 id="titre-familles">Familles</h2>
{families_table(families)}
</section>
<section aria-labelledby="titre-credits">
<h2 id="titre-credits">Crédits</h2>
<p>Les identités et les types de machine viennent de la collection DMI du projet linux-hardware.org, et les faits
des tables ACPI de sa collection ACPI (rapports envoyés par des utilisateurs de Linux), sous licence Creative
Commons Attribution 4.0 International (CC BY 4.0, https://creativecommons.org/licenses/by/4.0/). Le sens des
méthodes et des registres vient du pilote Linux <code>thinkpad_acpi</code> et de sa documentation.</p>
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
    args = parser.parse_args(argv)
    try:
        profiles = load(args.profiles)
    except (OSError, tomllib.TOMLDecodeError, KeyError) as error:
        print(f"make-catalogue: {args.profiles}: {error}", file=sys.stderr)
        return 1
    page = render(profiles)
    args.out.parent.mkdir(parents=True, exist_ok=True)
    args.out.write_text(page, encoding="utf-8", newline="\n")
    t = totals(profiles)
    print(f"make-catalogue: {args.out} ({len(page.encode()) // 1024} KiB): {t['models']} models, "
          f"{t['families']} families, {t['capabilities']} capabilities")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
