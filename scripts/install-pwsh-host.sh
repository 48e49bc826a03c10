#!/usr/bin/env bash
# Publishes the powershell.exe stand-in that hosts the PowerShell 7 engine
# (tests/backlight/pwsh_host) for Windows x86-64, self-contained, into the
# build tree, with the engine's built-in modules beside it. Safe to run again:
# it publishes only when the sources changed.
#   scripts/install-pwsh-host.sh [TOOLS_DIR]     default: build/tools
# Leaves TOOLS_DIR/pwsh-host/powershell.exe. Exits non-zero when it cannot;
# the tests that need it then report themselves skipped with the reason.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
tools=${1:-$root/build/tools}
project=$root/tests/backlight/pwsh_host
out=$tools/pwsh-host
stamp=$out/.published

if ! command -v dotnet >/dev/null 2>&1; then
  echo "install-pwsh-host: dotnet is missing, the PowerShell stand-in is not built" >&2
  exit 1
fi
if [ -f "$stamp" ] && [ -z "$(find "$project" -newer "$stamp" -type f -not -path '*/obj/*' -not -path '*/bin/*')" ]; then
  exit 0
fi

echo "install-pwsh-host: publishing the PowerShell stand-in into $out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$project"/*.cs "$project"/*.csproj "$work/"
export DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1
if ! log=$(dotnet publish "$work" -c Release -o "$work/out" 2>&1); then
  printf '%s\n' "$log" >&2
  echo "install-pwsh-host: dotnet publish failed" >&2
  exit 1
fi
rm -rf "$out"
mkdir -p "$tools"
mv "$work/out" "$out"
touch "$stamp"
