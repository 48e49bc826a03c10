#!/usr/bin/env bash
# Start-up cost of "ostrane.exe detect" and "ostrane.exe profiles" under
# Wine, against two yardsticks run side by side, interleaved, in the same
# warm prefix:
#   - a trivial console program: Wine's start alone (goal: detect / trivial
#     below 1.5);
#   - the floor: a program that only starts, lists the profile directory and
#     reads every *.toml file in it (goal: detect / floor below 1.10; a
#     collection three times the shipped one below 1.30).
# The script prints figures and never judges them, but it fails when a run
# fails.
#   bench/wine_startup.sh [--profiles DIR] [EXE [RUNS]]
#   DIR   the profile directory of both detect and the floor; default the
#         shipped collection, ./profiles of the checkout, which detect then
#         finds by itself as a user's run does
#   EXE   default build/windows/ostrane.exe; RUNS per program, default 200
# WINEPREFIX is honoured, as by tools/wine-run.
# Every file costs three trips to Wine's server, so the floor moves about
# threefold with whether the server and the program share a CPU; the
# scheduler decides that run by run. "taskset -c 0 make bench" pins both
# (the server starts inside the script) for steadier figures.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)

profiles=
if [[ ${1:-} == --profiles ]]; then
  [[ -n ${2:-} ]] || { echo "wine_startup: --profiles needs a directory" >&2; exit 2; }
  profiles=$(realpath -e "$2" 2>/dev/null) && [[ -d $profiles ]] || {
    echo "wine_startup: $2 is not a directory" >&2
    exit 2
  }
  shift 2
fi
exe=$(realpath -e "${1:-$root/build/windows/ostrane.exe}") || {
  echo "wine_startup: ${1:-$root/build/windows/ostrane.exe} is missing: build the windows preset first" >&2
  exit 1
}
runs=${2:-200}
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "wine_startup: RUNS must be a positive integer" >&2; exit 2; }
wine_run=$root/tools/wine-run

# Static, so that the yardsticks load no DLL beyond what ostrane.exe loads.
out_dir=$root/build/bench
trivial=$out_dir/trivial_console.exe
floor=$out_dir/profile_floor.exe
mkdir -p "$out_dir"
if [[ ! -f $trivial || $root/bench/trivial_console.c -nt $trivial ]]; then
  x86_64-w64-mingw32-gcc-posix -O2 -static -o "$trivial" "$root/bench/trivial_console.c"
fi
if [[ ! -f $floor || $root/bench/profile_floor.c -nt $floor ]]; then
  x86_64-w64-mingw32-gcc-posix -O2 -static -municode -o "$floor" "$root/bench/profile_floor.c"
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

# Both run from the checkout. Wine reaches an absolute Unix path through the
# drive of the current directory, so DIR needs no conversion.
cd "$root"
detect=("$exe" detect)
listing=("$exe" profiles)
floor_run=("$floor")
if [[ -n $profiles ]]; then
  detect+=(--profiles "$profiles")
  listing+=(--profiles "$profiles")
  floor_run+=("$profiles")
fi
run_program() {
  case $1 in
    trivial) timed "$trivial" ;;
    detect) timed "${detect[@]}" ;;
    profiles) timed "${listing[@]}" ;;
    floor) timed "${floor_run[@]}" ;;
  esac
}

# How many files each one read, shown with the figures; a collection that
# detect cannot load ends the script here.
report=$("$wine_run" "${detect[@]}" </dev/null 2>"$err") || {
  echo "wine_startup: '${detect[*]}' failed:" >&2
  cat "$err" >&2
  exit 1
}
loaded=$(sed -n 's/^ *"profiles_loaded": \([0-9]*\),$/\1/p' <<<"$report")
read_by_floor=$("$wine_run" "${floor_run[@]}" </dev/null 2>"$err") || {
  echo "wine_startup: '${floor_run[*]}' failed:" >&2
  cat "$err" >&2
  exit 1
}

# A few unrecorded runs fill the caches of every program first.
programs=(trivial detect profiles floor)
for _ in 1 2 3; do
  for p in "${programs[@]}"; do run_program "$p" >/dev/null; done
done

declare -A times
for ((i = 0; i < runs; i++)); do
  # The order turns every round, so that each program takes each place in
  # the round equally often.
  for ((k = 0; k < ${#programs[@]}; k++)); do
    p=${programs[(i + k) % ${#programs[@]}]}
    times[$p]+="$(run_program "$p") "
  done
done

# median, mean and p90 (nearest rank) in milliseconds.
stats() {
  printf '%s\n' $1 | sort -n | awk '
    { v[NR] = $1; sum += $1 }
    END {
      median = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
      rank = int(0.9 * NR); if (rank < 0.9 * NR) rank++
      printf "%.2f %.2f %.2f\n", median / 1000, sum / NR / 1000, v[rank] / 1000
    }'
}
read -r t_med t_mean t_p90 <<<"$(stats "${times[trivial]}")"
read -r d_med d_mean d_p90 <<<"$(stats "${times[detect]}")"
read -r f_med f_mean f_p90 <<<"$(stats "${times[floor]}")"
read -r l_med l_mean l_p90 <<<"$(stats "${times[profiles]}")"

echo "Wine start-up, $runs interleaved runs each, prefix ${WINEPREFIX:-$root/build/wineprefix}"
echo "profiles: ${profiles:-./profiles} (detect loaded $loaded; the floor read $read_by_floor)"
printf '%-28s %10s %10s %10s\n' "program" "median ms" "mean ms" "p90 ms"
printf '%-28s %10s %10s %10s\n' "trivial_console.exe" "$t_med" "$t_mean" "$t_p90"
printf '%-28s %10s %10s %10s\n' "profile_floor.exe" "$f_med" "$f_mean" "$f_p90"
printf '%-28s %10s %10s %10s\n' "ostrane.exe detect" "$d_med" "$d_mean" "$d_p90"
printf '%-28s %10s %10s %10s\n' "ostrane.exe profiles" "$l_med" "$l_mean" "$l_p90"
awk -v d="$d_med" -v t="$t_med" 'BEGIN { printf "ratio of medians (detect / trivial): %.3f (goal: below 1.5)\n", d / t }'
awk -v d="$d_med" -v f="$f_med" 'BEGIN { printf "ratio of medians (detect / floor): %.3f (goal: below 1.10)\n", d / f }'
awk -v l="$l_med" -v f="$f_med" 'BEGIN { printf "ratio of medians (profiles / floor): %.3f\n", l / f }'
