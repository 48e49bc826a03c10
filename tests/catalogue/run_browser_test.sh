#!/usr/bin/env bash
# Writes the catalogue of the shipped collection into OUT_DIR and drives it
# in Chromium; exits 77 (skipped) when no browser can be had.
#   run_browser_test.sh OUT_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=$1
mkdir -p "$out"
if ! command -v node >/dev/null 2>&1; then
  echo "SKIPPED: node is missing (scripts/install-deps.sh test)"
  exit 77
fi
python3 "$root/scripts/make-catalogue.py" --profiles "$root/profiles" --out "$out/index.html"
exec node "$here/browser_test.mjs" "$out/index.html" "$root/profiles" "$root/build/tools" "$out/screenshot.png"
