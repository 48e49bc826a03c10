#!/usr/bin/env bash
# Runs the Pester tests of the keyboard-backlight script with the PowerShell
# and Pester that scripts/install-pwsh.sh put into TOOLS_DIR.
#   run-pester.sh TOOLS_DIR [TEST_FILE]
# Exit status: 0 when every test passed (and there was at least one), 1 on any
# failure, 77 (skipped, with the reason on the output) when the tools are not
# installed.
set -euo pipefail

tools=${1:?usage: run-pester.sh TOOLS_DIR [TEST_FILE]}
[ -d "$tools" ] && tools=$(cd "$tools" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
tests=${2:-$here/keyboard.Tests.ps1}
pwsh=$tools/pwsh/pwsh
pester=$(ls -d "$tools"/Modules/Pester/5.*/Pester.psd1 2>/dev/null | sort -V | tail -n 1 || true)

if [ ! -x "$pwsh" ]; then
  echo "SKIPPED: PowerShell is not installed at $pwsh (scripts/install-pwsh.sh installs it; it needs dotnet)"
  exit 77
fi
if [ -z "$pester" ]; then
  echo "SKIPPED: Pester 5 is not installed under $tools/Modules (scripts/install-pwsh.sh installs it)"
  exit 77
fi

# Plain text: ctest keeps the output, and colour codes would only clutter it.
export NO_COLOR=1
# The tests start the script in a child PowerShell: this one, not whichever
# comes first on PATH (inside, the process path is the dotnet host).
export PESTER_MODULE=$pester PESTER_TESTS=$tests KEYBOARD_TEST_PWSH=$pwsh
exec "$pwsh" -NoProfile -NonInteractive -Command '
  $ErrorActionPreference = "Stop"
  $PSStyle.OutputRendering = "PlainText"
  Import-Module -Name $env:PESTER_MODULE -MinimumVersion 5.0 -MaximumVersion 5.99
  $configuration = New-PesterConfiguration
  $configuration.Run.Path = $env:PESTER_TESTS
  $configuration.Run.PassThru = $true
  $configuration.Output.Verbosity = "Detailed"
  $configuration.Output.RenderMode = "Plaintext"
  $run = Invoke-Pester -Configuration $configuration
  $others = $run.SkippedCount + $run.NotRunCount + $run.InconclusiveCount
  "{0} passed, {1} failed" -f $run.PassedCount, ($run.FailedCount + $run.FailedBlocksCount + $run.FailedContainersCount)
  if ($others -gt 0) { "{0} tests were skipped, not run or inconclusive" -f $others }
  if ($run.Result -ne "Passed" -or $run.PassedCount -eq 0 -or $others -gt 0) { exit 1 }
  exit 0
'
