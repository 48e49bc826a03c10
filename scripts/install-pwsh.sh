#!/usr/bin/env bash
# Installs what the tests of the keyboard-backlight script run on: PowerShell 7
# as a .NET tool and the Pester module, both inside the build tree, nothing
# system-wide. Safe to run again and again: what is there is kept.
#   scripts/install-pwsh.sh [TOOLS_DIR]     default: build/tools
# Leaves TOOLS_DIR/pwsh/pwsh and TOOLS_DIR/Modules/Pester/<version>/Pester.psd1.
# Exits non-zero when something could not be installed; the tests then report
# themselves skipped with the reason.
set -euo pipefail

PWSH_VERSION=7.6.10   # the newest that installs here; 7.7.0 does not
PESTER_VERSION=5.7.1

root=$(cd "$(dirname "$0")/.." && pwd)
tools=${1:-$root/build/tools}
mkdir -p "$tools"
tools=$(cd "$tools" && pwd)

if ! command -v dotnet >/dev/null 2>&1; then
  echo "install-pwsh: dotnet is missing, PowerShell and Pester are not installed" >&2
  exit 1
fi

# Runs a command, showing its output only when it fails.
quietly() {
  local out
  if ! out=$("$@" 2>&1); then
    printf '%s\n' "$out" >&2
    echo "install-pwsh: failed: $*" >&2
    return 1
  fi
}

pwsh_dir=$tools/pwsh
if [ -x "$pwsh_dir/pwsh" ] && [ -d "$pwsh_dir/.store/powershell/$PWSH_VERSION" ]; then
  :
else
  rm -rf "$pwsh_dir"
  echo "install-pwsh: installing PowerShell $PWSH_VERSION into $pwsh_dir"
  quietly dotnet tool install PowerShell --version "$PWSH_VERSION" --tool-path "$pwsh_dir"
fi

pester_dir=$tools/Modules/Pester/$PESTER_VERSION
if [ ! -f "$pester_dir/Pester.psd1" ]; then
  echo "install-pwsh: installing Pester $PESTER_VERSION into $pester_dir"
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  # A throwaway project whose restore only downloads the package; the SDK's
  # own target framework needs nothing else from the feed.
  framework=net$(dotnet --version | cut -d. -f1).0
  cat >"$work/fetch.csproj" <<EOF
<Project Sdk="Microsoft.NET.Sdk">
  <PropertyGroup>
    <TargetFramework>$framework</TargetFramework>
  </PropertyGroup>
  <ItemGroup>
    <PackageDownload Include="Pester" Version="[$PESTER_VERSION]" />
  </ItemGroup>
</Project>
EOF
  quietly dotnet restore "$work/fetch.csproj" --packages "$work/packages"
  module=$work/packages/pester/$PESTER_VERSION/tools
  if [ ! -f "$module/Pester.psd1" ]; then
    echo "install-pwsh: the Pester package holds no tools/Pester.psd1" >&2
    exit 1
  fi
  rm -rf "$pester_dir.partial"
  mkdir -p "$pester_dir.partial"
  cp -R "$module/." "$pester_dir.partial/"
  mv "$pester_dir.partial" "$pester_dir"
fi
