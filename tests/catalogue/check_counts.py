#!/usr/bin/env python3
"""The catalogue's totals against the profile files, counted here another way:
by the lines the files hold, without a TOML reader.

  check_counts.py PROFILES_DIR
"""

import importlib.util
import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent.parent


def counted(directory):
    models = families = documented = assumed = validated = with_firmware = 0
    types = set()
    for path in directory.glob("*.toml"):
        text = path.read_text(encoding="utf-8")
        if re.search(r'^scope = "family"$', text, re.M):
            families += 1
            continue
        models += 1
        types |= {t.upper() for t in re.findall(r'"([^"]*)"', re.search(r"^mtm = \[(.*)\]$", text, re.M).group(1))}
        documented += len(re.findall(r'^confidence = "documented"$', text, re.M))
        assumed += len(re.findall(r'^confidence = "assumed"$', text, re.M))
        validated += len(re.findall(r'^confidence = "validated"$', text, re.M))
        with_firmware += '"acpi:' in text
    return {"models": models, "families": families, "machine_types": len(types),
            "capabilities": documented + assumed + validated,
            "by_confidence": {"validated": validated, "documented": documented, "assumed": assumed},
            "with_firmware": with_firmware}


def main(argv):
    directory = Path(argv[1]) if len(argv) > 1 else ROOT / "profiles"
    spec = importlib.util.spec_from_file_location("catalogue", ROOT / "scripts" / "make-catalogue.py")
    catalogue = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(catalogue)
    profiles = catalogue.load(directory)
    page_totals = catalogue.totals(profiles)
    expected = counted(directory)
    for key, value in expected.items():
        status = "ok" if page_totals[key] == value else "FAIL"
        print(f"{status}: {key}: catalogue {page_totals[key]}, files {value}")
    # And the page shows them.
    page = catalogue.render(profiles)
    rows = {"Profils de modèle": expected["models"], "Profils de famille": expected["families"],
            "Types de machine": expected["machine_types"], "Capacités des profils de modèle": expected["capabilities"],
            "Capacités validées": expected["by_confidence"]["validated"],
            "Capacités documentées": expected["by_confidence"]["documented"],
            "Capacités supposées": expected["by_confidence"]["assumed"],
            "Modèles appuyés par leurs propres tables ACPI": expected["with_firmware"]}
    shown = all(f'<th scope="row">{label}</th><td>{value}</td>' in page for label, value in rows.items())
    print(f"{'ok' if shown else 'FAIL'}: the page shows the totals")
    return 0 if page_totals == expected and shown else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
