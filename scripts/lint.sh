#!/usr/bin/env bash
# Lints every .h and .cpp file under src/ and hal/: clang-format in check
# mode against .clang-format, then clang-tidy against .clang-tidy. Prints
# each finding and a summary; exits non-zero on any finding.
#
# clang-tidy reads the compile commands of the CMake presets: `host` for the
# portable files, `windows` for the *_win.cpp ones. Headers are checked
# through the .cpp files that include them. A missing or stale database is
# made again with `cmake --preset`.
#
# usage: scripts/lint.sh           (scripts/install-deps.sh lint installs the tools)
#   CLANG_FORMAT, CLANG_TIDY  other binaries; LINT_JOBS  parallel clang-tidy runs
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

clang_format=${CLANG_FORMAT:-clang-format}
# clang 16 is the first whose C++ front end takes libstdc++ 12's
# std::expected (it needs P0848); clang-tidy 14 stops at every use of it.
clang_tidy=${CLANG_TIDY:-clang-tidy-16}
jobs=${LINT_JOBS:-$(nproc)}
mingw_cxx=x86_64-w64-mingw32-g++-posix

for tool in "$clang_format" "$clang_tidy"; do
  if ! command -v "$tool" >/dev/null; then
    echo "lint: $tool not found (scripts/install-deps.sh lint)" >&2
    exit 2
  fi
done

# Tracked and new files alike; generated sources live in build/, never here.
mapfile -t sources < <(git ls-files --cached --others --exclude-standard -- \
  'src/*.h' 'src/*.cpp' 'hal/*.h' 'hal/*.cpp' | sort -u)
host_units=()
windows_units=()
for file in "${sources[@]}"; do
  case "$file" in
    *_win.cpp) windows_units+=("$file") ;;
    *.cpp) host_units+=("$file") ;;
  esac
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# --- clang-format -----------------------------------------------------------
format_status=0
"$clang_format" --dry-run --Werror "${sources[@]}" 2>"$work/format.txt" || format_status=$?
format_files=$({ grep -oE '^[^:]+:[0-9]+:[0-9]+: (error|warning):' "$work/format.txt" || true; } | cut -d: -f1 | sort -u | wc -l)
if [ "$format_status" -ne 0 ] && [ "$format_files" -eq 0 ]; then
  cat "$work/format.txt" >&2
  echo "lint: $clang_format failed" >&2
  exit 2
fi
cat "$work/format.txt"

# --- compile databases ------------------------------------------------------
# Configures the preset when its database is missing or lacks one of the
# files given; fails if one is still missing after that.
ensure_database() {
  local preset=$1
  shift
  local db="build/$preset/compile_commands.json" file stale=0
  [ -f "$db" ] || stale=1
  for file in "$@"; do
    [ "$stale" -eq 1 ] || grep -qF "\"file\": \"$root/$file\"" "$db" || stale=1
  done
  if [ "$stale" -eq 1 ]; then
    echo "lint: configuring the $preset preset for its compile commands"
    cmake --preset "$preset" >/dev/null
  fi
  for file in "$@"; do
    if ! grep -qF "\"file\": \"$root/$file\"" "$db"; then
      echo "lint: $file has no compile command in $db (not in any CMakeLists.txt?)" >&2
      exit 1
    fi
  done
}
ensure_database host "${host_units[@]}"
ensure_database windows "${windows_units[@]}"

# --- clang-tidy -------------------------------------------------------------
# A misspelt check or option in .clang-tidy would otherwise be ignored.
if ! "$clang_tidy" --verify-config >"$work/verify.txt" 2>&1; then
  cat "$work/verify.txt" >&2
  echo "lint: .clang-tidy does not verify" >&2
  exit 2
fi

# The databases say -std=c++23, which clang 16 spells c++2b. libstdc++ 12
# offers <expected> only when __cpp_concepts says 202002L, which clang 16
# implements without advertising.
common_args=(--quiet --extra-arg=-std=c++2b --extra-arg=-U__cpp_concepts --extra-arg=-D__cpp_concepts=202002L)

# The windows database names the mingw g++ driver; clang gets its target and
# the libstdc++ directories that driver searches. GCC's own include
# directories are left out: clang has its own builtin headers, and finds
# mingw's C headers by itself.
windows_args=(--extra-arg=--target=x86_64-w64-mingw32 --extra-arg=-nostdinc++)
while read -r dir; do
  windows_args+=("--extra-arg=-isystem$(realpath "$dir")")
done < <("$mingw_cxx" -E -x c++ - -v </dev/null 2>&1 |
  sed -n '/^#include <...> search starts here:$/,/^End of search list\.$/p' | grep '/include/c++' || true)
if [ ${#windows_args[@]} -eq 2 ]; then
  echo "lint: no libstdc++ directories from $mingw_cxx" >&2
  exit 2
fi

# One translation unit: its findings into $work/tidy/<path>.txt, and a
# .failed marker when clang-tidy itself failed (a compile error, say).
tidy_one() {
  local preset=$1 file=$2
  shift 2
  local out="$work/tidy/${file//\//_}"
  if ! "$clang_tidy" -p "build/$preset" "$@" "$file" >"$out.txt" 2>"$out.err"; then
    touch "$out.failed"
  fi
}
export -f tidy_one
export clang_tidy work
mkdir "$work/tidy"
echo "lint: clang-tidy on ${#host_units[@]} portable and ${#windows_units[@]} Windows files, $jobs at a time"
if [ ${#host_units[@]} -gt 0 ]; then
  printf '%s\n' "${host_units[@]}" |
    xargs -P "$jobs" -I{} bash -c 'tidy_one host "$1" "${@:2}"' _ {} "${common_args[@]}"
fi
if [ ${#windows_units[@]} -gt 0 ]; then
  printf '%s\n' "${windows_units[@]}" |
    xargs -P "$jobs" -I{} bash -c 'tidy_one windows "$1" "${@:2}"' _ {} "${common_args[@]}" "${windows_args[@]}"
fi

failed_units=0
for file in "${host_units[@]}" "${windows_units[@]}"; do
  out="$work/tidy/${file//\//_}"
  cat "$out.txt"
  if [ -e "$out.failed" ]; then
    failed_units=$((failed_units + 1))
    grep -vE '^[0-9]+ (warning|error)s? generated\.$' "$out.err" >&2 || true
    echo "lint: clang-tidy failed on $file" >&2
  fi
done

# A finding in a header shows once per file that includes it: count it once.
cat "$work"/tidy/*.txt /dev/null | grep -E '^([^ ]+:[0-9]+:[0-9]+: )?(warning|error): ' | sort -u >"$work/findings.txt" || true
tidy_findings=$(wc -l <"$work/findings.txt")

echo
echo "lint: clang-format: ${#sources[@]} files, $format_files to reformat"
echo "lint: clang-tidy: $((${#host_units[@]} + ${#windows_units[@]})) translation units, $tidy_findings findings"
if [ "$tidy_findings" -gt 0 ]; then
  grep -oE '\[[^]]+\]$' "$work/findings.txt" | sort | uniq -c | sort -rn | sed 's/^/lint:   /'
fi
[ "$failed_units" -eq 0 ] || echo "lint: clang-tidy failed on $failed_units translation units"

[ "$format_status" -eq 0 ] && [ "$tidy_findings" -eq 0 ] && [ "$failed_units" -eq 0 ]
