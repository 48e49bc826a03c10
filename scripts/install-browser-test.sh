#!/usr/bin/env bash
# Installs what the catalogue's browser test drives Debian's Chromium with:
# playwright-core from the npm registry, as tests/catalogue/package-lock.json
# pins it, inside the build tree. Chromium itself is a Debian package
# (scripts/install-deps.sh test). Safe to run again and again.
#   scripts/install-browser-test.sh [TOOLS_DIR]     default: build/tools
# Leaves TOOLS_DIR/catalogue/node_modules/playwright-core. Exits non-zero when
# it could not; the test then reports itself skipped with the reason.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
tools=${1:-$root/build/tools}/catalogue
mkdir -p "$tools"

# Debian's nodejs comes without npm; NodeSource's, as on this project's
# machines, brings its own, which Debian's npm package would conflict with.
if ! command -v npm >/dev/null 2>&1; then
  sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q npm >/dev/null 2>&1 || true
fi
if ! command -v npm >/dev/null 2>&1; then
  echo "install-browser-test: npm is missing, playwright-core is not installed" >&2
  exit 1
fi
if cmp -s "$root/tests/catalogue/package-lock.json" "$tools/package-lock.json" &&
   [ -f "$tools/node_modules/playwright-core/package.json" ]; then
  exit 0
fi
cp "$root/tests/catalogue/package.json" "$root/tests/catalogue/package-lock.json" "$tools/"
echo "install-browser-test: installing playwright-core into $tools"
if ! out=$(cd "$tools" && npm ci --no-audit --no-fund 2>&1); then
  printf '%s\n' "$out" >&2
  echo "install-browser-test: npm ci failed" >&2
  exit 1
fi
