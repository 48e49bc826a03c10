#!/usr/bin/env bash
# Unpacks the distributable archive into an empty directory, far from any
# build tree, and runs it there under a Wine prefix made for the occasion:
# the archive's content, "ostrane.exe detect" and "ostrane.exe profiles" with
# the profiles it carries, and the executable's own checks (imports, version,
# icon) on the copy that ships.
#   check_dist.sh ZIP              an archive made by make dist
#   check_dist.sh --build DIR      make one first, with cpack, from the windows build tree DIR
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/ostrane-dist-XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all
# As tools/wine-run does: without address-space randomisation, which now and
# then leaves a new Wine process no room for its shared user data.
wine_bin=$(command -v wine)
wine() { setarch "$(uname -m)" --addr-no-randomize "$wine_bin" "$@"; }
cleanup() {
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

if [ "${1:-}" = --build ]; then
  build=$(cd "$2" && pwd)
  cpack --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null
  zip=$(ls "$work"/package/ostrane-*-win64.zip)
else
  zip=$(realpath -e "$1")
fi
name=$(basename "$zip" .zip)
[ "$name" = "ostrane-2.2.1-win64" ] || { echo "check_dist: unexpected archive name $name" >&2; exit 1; }

fail=0
check() {  # check WHAT EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then
    echo "check_dist: $1: expected [$2], got [$3]" >&2
    fail=1
  else
    echo "ok: $1"
  fi
}

mkdir "$work/unpacked"
python3 -m zipfile -e "$zip" "$work/unpacked"
app=$work/unpacked/$name
expected_files=$( (cd "$root" && { printf '%s\n' LICENSE README.md THIRD-PARTY-NOTICES.txt ostrane.exe catalogue.html;
                                    find profiles -type f; }) | LC_ALL=C sort)
actual_files=$( (cd "$app" && find . -type f | sed 's|^\./||') | LC_ALL=C sort)
check "archive content" "$expected_files" "$actual_files"
check "README is the checkout's" "$(sha256sum <"$root/README.md")" "$(sha256sum <"$app/README.md")"
# The catalogue has an entry for each model profile the archive carries.
check "catalogue entries" "$(grep -l '^scope = "model"' "$app"/profiles/*.toml | xargs grep -h -m1 '^id = ' | sed 's/^id = "//; s/"$//' | LC_ALL=C sort)" \
  "$(grep -o '<article class="modele" id="profil-[^"]*"' "$app/catalogue.html" 2>/dev/null | sed 's/.*id="profil-//; s/"$//' | LC_ALL=C sort)"

python3 "$root/tests/pe/check_pe.py" imports "$app/ostrane.exe" >/dev/null || { echo "check_dist: imports" >&2; fail=1; }
python3 "$root/tests/pe/check_pe.py" version "$app/ostrane.exe" >/dev/null || { echo "check_dist: version" >&2; fail=1; }
python3 "$root/tests/pe/check_pe.py" icon "$app/ostrane.exe" >/dev/null || { echo "check_dist: icon" >&2; fail=1; }

# A new prefix, as on a machine that never ran ostrane; its services get
# null streams so that they hold none of this script's.
wine wineboot.exe -i </dev/null >/dev/null 2>&1
wineserver -w
wineserver -p </dev/null >/dev/null 2>&1
wine cmd.exe /c exit </dev/null >/dev/null 2>&1

profile_count=$(find "$root/profiles" -name '*.toml' | wc -l)
cd "$app"
status=0
wine ostrane.exe detect >"$work/detect.json" 2>"$work/detect.err" || status=$?
check "detect exit status" 0 "$status"
check "detect standard error" "" "$(cat "$work/detect.err")"
check "detect profiles_loaded" "$profile_count" \
  "$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["profiles_loaded"])' "$work/detect.json" 2>&1)"
status=0
wine ostrane.exe profiles >"$work/profiles.json" 2>"$work/profiles.err" || status=$?
check "profiles exit status" 0 "$status"
check "profiles standard error" "" "$(cat "$work/profiles.err")"
check "profiles listed" "$profile_count" \
  "$(python3 -c 'import json,sys; print(len(json.load(open(sys.argv[1]))["profiles"]))' "$work/profiles.json" 2>&1)"

exit $fail
