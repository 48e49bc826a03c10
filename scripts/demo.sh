#!/usr/bin/env bash
# make demo: "ostrane.exe detect" with the shipped collection on a few real
# identities of data/identities-sample.tsv, each shown to Wine through its
# own /sys/class/dmi/id in a private mount namespace (which needs root, as
# the end-to-end tests do). Each report is printed under a one-line title.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exe=$root/build/windows/ostrane.exe
sample=$root/data/identities-sample.tsv
[[ -f $exe ]] || { echo "demo : $exe manque : construisez d'abord la variante windows" >&2; exit 1; }
if ! unshare -m true 2>/dev/null; then
  echo "demo : il faut les droits root (espace de montage privé sur /sys/class)" >&2
  exit 1
fi

work=$(mktemp -d /tmp/ostrane-demo-XXXXXX)
trap 'rm -rf "$work"; "$root/tools/wine-prefix" stop' EXIT
"$root/tools/wine-prefix" setup

# Writes class/dmi/id under $2 from the sample row whose product name and
# version are $3 and $4; a field that dmidecode printed as "Not Specified"
# or left empty has no file, as on the machine.
make_tree() {
  python3 - "$sample" "$1" "$2" "$3" <<'PY'
import csv, os, sys
sample, tree, product, version = sys.argv[1:]
files = {"bios_vendor": "bios_vendor", "bios_version": "bios_version", "bios_release_date": "bios_date",
         "system_manufacturer": "sys_vendor", "system_product_name": "product_name",
         "system_version": "product_version", "system_family": "product_family",
         "baseboard_product": "board_name"}
with open(sample, encoding="utf-8", newline="") as f:
    rows = [r for r in csv.DictReader(f, delimiter="\t")
            if r["system_product_name"] == product and r["system_version"].strip() == version]
if not rows:
    sys.exit(f"demo : aucune identité « {product} » / « {version} » dans l'échantillon")
os.makedirs(os.path.join(tree, "dmi", "id"))
for column, name in files.items():
    text = rows[0][column]
    if text and text != "Not Specified":
        with open(os.path.join(tree, "dmi", "id", name), "w", encoding="utf-8") as out:
            out.write(text + "\n")
PY
}

n=0
show() {
  local title=$1 product=$2 version=$3
  n=$((n + 1))
  make_tree "$work/$n" "$product" "$version"
  printf '\n== %s\n' "$title"
  (cd "$root" && unshare -m sh -c 'mount --make-rprivate / && mount --bind "$1" /sys/class && shift && exec "$@"' \
    sh "$work/$n" "$root/tools/wine-run" "$exe" detect)
}

show "Un ThinkPad récent dont un profil cite le type machine : exact" "21FWS98U00" "ThinkPad P1 Gen 6"
show "Un ThinkPad dont le micrologiciel ne donne aucun type machine connu : famille" "INVALID" "ThinkPad SL"
show "Un Lenovo grand public dont un profil cite le type machine : exact" "82BH" "Yoga 7 14ITL5"
show "Un Lenovo grand public nommé par un numéro de produit à cinq chiffres : famille" "20206" "Lenovo B590"
show "Un Lenovo dont le micrologiciel ne nomme aucun modèle : non pris en charge" "PIQY0" "INVALID"
show "Un portable Dell, fabricant reconnu sans profil : sonde dynamique" "Latitude 9520" "Not Specified"
