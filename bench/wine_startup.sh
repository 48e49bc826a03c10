#!/usr/bin/env bash
# Start-up cost of "ostrane.exe detect" under Wine, against a trivial console
# program run side by side in the same warm prefix. The goal is a ratio of
# medians below 1.5; the script prints figures and never judges them, but it
# fails when a run fails.
#   bench/wine_startup.sh [EXE [RUNS]]
#   EXE   default build/windows/ostrane.exe; RUNS per program, default 200
# WINEPREFIX is honoured, as by tools/wine-run.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
exe=$(realpath -e "${1:-$root/build/windows/ostrane.exe}") || {
  echo "wine_startup: ${1:-$root/build/windows/ostrane.exe} is missing: build the windows preset first" >&2
  exit 1
}
runs=${2:-200}
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "wine_startup: RUNS must be a positive integer" >&2; exit 2; }
wine_run=$root/tools/wine-run

# Static, so that the yardstick loads no DLL beyond what ostrane.exe loads.
out_dir=$root/build/bench
trivial=$out_dir/trivial_console.exe
mkdir -p "$out_dir"
if [[ ! -f $trivial || $root/bench/trivial_console.c -nt $trivial ]]; then
  x86_64-w64-mingw32-gcc-posix -O2 -static -o "$trivial" "$root/bench/trivial_console.c"
fi

# One warm prefix with a persistent server, as in the tests; stopped at the end.
"$root/tools/wine-prefix" setup
err=$(mktemp)
trap 'rm -f "$err"; "$root/tools/wine-prefix" stop' EXIT

# Prints the run time in microseconds; EPOCHREALTIME costs no process, so
# the clock adds nothing to the figures. It always has six decimals, and its
# separator follows the locale, so dropping every non-digit gives microseconds.
timed() {
  local start=$EPOCHREALTIME status=0
  "$wine_run" "$@" >/dev/null 2>"$err" </dev/null || status=$?
  local end=$EPOCHREALTIME
  if ((status != 0)); then
    echo "wine_startup: '$*' exited with status $status:" >&2
    cat "$err" >&2
    exit 1
  fi
  echo $((10#${end//[!0-9]/} - 10#${start//[!0-9]/}))
}

# detect runs as a user would run it from the checkout: the default
# ./profiles, the shipped collection.
cd "$root"

# A few unrecorded runs fill the caches of both programs first.
for _ in 1 2 3; do
  timed "$trivial" >/dev/null
  timed "$exe" detect >/dev/null
done

trivial_us=()
detect_us=()
for ((i = 0; i < runs; i++)); do
  # The order swaps every round, so that neither always runs second.
  if ((i % 2 == 0)); then
    trivial_us+=("$(timed "$trivial")")
    detect_us+=("$(timed "$exe" detect)")
  else
    detect_us+=("$(timed "$exe" detect)")
    trivial_us+=("$(timed "$trivial")")
  fi
done

# median, mean and p90 (nearest rank) in milliseconds.
stats() {
  printf '%s\n' "$@" | sort -n | awk '
    { v[NR] = $1; sum += $1 }
    END {
      median = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
      rank = int(0.9 * NR); if (rank < 0.9 * NR) rank++
      printf "%.2f %.2f %.2f\n", median / 1000, sum / NR / 1000, v[rank] / 1000
    }'
}
read -r t_med t_mean t_p90 <<<"$(stats "${trivial_us[@]}")"
read -r d_med d_mean d_p90 <<<"$(stats "${detect_us[@]}")"

echo "Wine start-up, $runs interleaved runs each, prefix ${WINEPREFIX:-$root/build/wineprefix}"
printf '%-28s %10s %10s %10s\n' "program" "median ms" "mean ms" "p90 ms"
printf '%-28s %10s %10s %10s\n' "trivial_console.exe" "$t_med" "$t_mean" "$t_p90"
printf '%-28s %10s %10s %10s\n' "ostrane.exe detect" "$d_med" "$d_mean" "$d_p90"
awk -v d="$d_med" -v t="$t_med" 'BEGIN { printf "ratio of medians (detect / trivial): %.3f (goal: below 1.5)\n", d / t }'
