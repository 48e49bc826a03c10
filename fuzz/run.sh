#!/usr/bin/env bash
# Builds the libFuzzer targets into build/fuzz/ and runs each one for a
# bounded time, starting from its committed seeds in fuzz/corpus/NAME/.
# The corpus grows in a copy under build/fuzz/corpus/, so the committed seeds
# never change. Exits non-zero on any crash, leak or timeout.
#
# usage: fuzz/run.sh [seconds-per-target [target...]]   (default 300 s, all targets)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
seconds=${1:-300}
[ $# -gt 0 ] && shift

# A target NAME is fuzz/NAME_fuzz.cpp plus the project sources it needs.
declare -A SOURCES=(
  [parse_smbios]="hal/smbios/parse_smbios.cpp hal/hal_error.cpp src/common/utf8.cpp src/common/text.cpp"
  [parse_profile]="src/profiles/parse_profile.cpp src/profiles/profile_error.cpp src/profiles/profile_toml.cpp src/profiles/plain_profile.cpp src/profiles/nesting_depth.cpp src/profiles/toml_report.cpp src/profiles/schema_messages.cpp src/common/utf8.cpp src/common/text.cpp"
  [parse_keyboard_json]="src/backlight/keyboard_json.cpp src/common/json_members.cpp src/common/utf8.cpp src/common/text.cpp"
  [handle_request]="src/service/pipe_protocol.cpp src/backlight/keyboard_json.cpp src/backlight/keyboard_state.cpp src/common/json_writer.cpp hal/hal_error.cpp src/common/json_members.cpp src/common/utf8.cpp src/common/text.cpp"
)
ALL_TARGETS=(parse_smbios parse_profile parse_keyboard_json handle_request)
# Inputs may be this long; libFuzzer's own default, the largest seed or
# 4 KiB, is far below a profile that nests deep enough to matter.
declare -A MAX_LEN=([parse_profile]=65536)
# The stack this target runs with, in KiB: what a Windows program's main
# thread gets, so that the nesting guard alone is shown to keep the TOML
# library within it (the product reads profiles on a larger stack still).
declare -A STACK_KIB=([parse_profile]=1024)
targets=("${@:-${ALL_TARGETS[@]}}")

CXX=${CXX:-clang++-16}
# libstdc++ 12 offers <expected> only when __cpp_concepts says 202002L, which
# clang 16 implements without advertising.
CXXFLAGS=(-std=c++2b -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
          -D__cpp_concepts=202002L -Wno-macro-redefined -I"$root")

out=$root/build/fuzz
mkdir -p "$out"

build() {
  local name=$1 srcs=()
  for s in ${SOURCES[$name]}; do srcs+=("$root/$s"); done
  echo "== building $name"
  "$CXX" "${CXXFLAGS[@]}" "$here/${name}_fuzz.cpp" "${srcs[@]}" -o "$out/$name"
}

run() {
  local name=$1
  local corpus=$out/corpus/$name artifacts=$out/artifacts/$name/
  mkdir -p "$corpus" "$artifacts"
  cp -p "$here/corpus/$name"/* "$corpus"/
  echo "== fuzzing $name for ${seconds}s${STACK_KIB[$name]:+ with a stack of ${STACK_KIB[$name]} KiB}"
  (
    [ -n "${STACK_KIB[$name]:-}" ] && ulimit -s "${STACK_KIB[$name]}"
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      exec "$out/$name" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -print_final_stats=1 \
      ${MAX_LEN[$name]:+-max_len=${MAX_LEN[$name]}} \
      -artifact_prefix="$artifacts" "$corpus" >"$out/$name.log" 2>&1
  )
}

status=0
for name in "${targets[@]}"; do
  if [ -z "${SOURCES[$name]+set}" ]; then
    echo "unknown fuzz target: $name (known: ${ALL_TARGETS[*]})" >&2
    exit 2
  fi
  build "$name"
  if run "$name"; then
    result=ok
  else
    result="FAILED (see $out/$name.log and $out/artifacts/$name/)"
    status=1
  fi
  execs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$out/$name.log" | awk '{print $2}' || true)
  cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$out/$name.log" | tail -n 1 || true)
  echo "== $name: $result; ${execs:-?} runs, ${cov:-no coverage line}, corpus $(ls "$out/corpus/$name" | wc -l) files"
done
exit "$status"
