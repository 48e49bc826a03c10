#!/usr/bin/env bash
# Shows that check-csharp5.sh does fail: it is given scripts whose Add-Type
# source uses a C# 6 feature, or an assembly that Windows PowerShell does not
# reference by default, and must reject each with that very error.
#   check-csharp5-rejects.sh TOOLS_DIR WORK_DIR
set -euo pipefail

tools=${1:?usage: check-csharp5-rejects.sh TOOLS_DIR WORK_DIR}
[ -d "$tools" ] && tools=$(cd "$tools" && pwd)
work=${2:?usage: check-csharp5-rejects.sh TOOLS_DIR WORK_DIR}
here=$(cd "$(dirname "$0")" && pwd)

rm -rf "$work"
mkdir -p "$work"

# rejects NAME EXPECTED_ERROR CSHARP: one script, one source, one error.
failed=0
rejects() {
  local name=$1 expected=$2 source=$3 status=0 output
  printf '$Source = @%s\n%s\n%s@\nAdd-Type -TypeDefinition $Source\n' "'" "$source" "'" >"$work/$name.ps1"
  output=$("$here/check-csharp5.sh" "$tools" "$work/$name.ps1" "$work/$name" 2>&1) || status=$?
  printf '%s\n' "$output"
  if [ $status -eq 77 ]; then
    exit 77
  elif [ $status -eq 0 ]; then
    echo "FAILED: the check accepted $name"
    failed=1
  elif ! grep -qF "$expected" <<<"$output"; then
    echo "FAILED: the check rejected $name without reporting: $expected"
    failed=1
  else
    echo "check-csharp5-rejects: $name rejected with $expected"
  fi
}

rejects interpolation "error CS8026: Feature 'interpolated strings'" \
'public static class Interpolated
{
    public static string Name(int id) { return $"kb{id}"; }
}'
rejects expression-body "error CS8026: Feature 'expression-bodied method'" \
'public static class Bodied
{
    public static int Twice(int x) => x * 2;
}'
rejects linq "error CS0234: The type or namespace name 'Linq'" \
'using System.Linq;
public static class Counted
{
    public static int Count(int[] values) { return values.Count(); }
}'
rejects warning "error CS0168: The variable 'unused'" \
'public static class Warned
{
    public static int Zero() { int unused; return 0; }
}'

exit $failed
