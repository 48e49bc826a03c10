#!/usr/bin/env bash
# Installs the Debian packages a group of tasks needs, and nothing that is
# already there. Safe to run again and again.
#   scripts/install-deps.sh build   compilers, Wine and libraries (make run)
#   scripts/install-deps.sh test    build + what the tests call (make test)
#   scripts/install-deps.sh fuzz    build + clang and libFuzzer (make fuzz)
#   scripts/install-deps.sh lint    build + clang-format and clang-tidy (make lint)
#   scripts/install-deps.sh icon    tools that redraw the application icon
#   scripts/install-deps.sh catalogue  what writes the catalogue page (make catalogue)
set -euo pipefail

build=(cmake make g++ g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
       wine wine64 googletest libtomlplusplus-dev nlohmann-json3-dev python3)
test=(dmidecode python3 python3-jsonschema icoutils libbenchmark-dev util-linux chromium nodejs)
fuzz=(clang-16 libclang-rt-16-dev)
# clang-tidy 16, not Debian's default 14: 14 cannot read libstdc++ 12's
# std::expected.
lint=(clang-format clang-tidy-16)
icon=(librsvg2-bin icoutils)

wanted=()
for group in "${@:-build}"; do
  case "$group" in
    build) wanted+=("${build[@]}") ;;
    test)  wanted+=("${build[@]}" "${test[@]}") ;;
    fuzz)  wanted+=("${build[@]}" "${fuzz[@]}") ;;
    lint)  wanted+=("${build[@]}" "${lint[@]}") ;;
    icon)  wanted+=("${icon[@]}") ;;
    catalogue) wanted+=(python3) ;;
    *) echo "install-deps: unknown group '$group'" >&2; exit 2 ;;
  esac
done

missing=()
for pkg in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null | grep -qx installed; then
    missing+=("$pkg")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "install-deps: installing ${missing[*]}"
"${sudo[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q "${missing[@]}"
