#!/usr/bin/env bash
# A profile collection three times the size of DIR, for make bench: each
# profile as it is, and twice again under another file name, with its id
# and its machine types renamed (first character Y, then Z), as profiles
# still to come would be. Every copy loads as the original does.
#   bench/grown_collection.sh DIR OUT
set -euo pipefail
[[ $# -eq 2 && -d $1 ]] || { echo "usage: bench/grown_collection.sh DIR OUT" >&2; exit 2; }
rm -rf "$2"
mkdir -p "$2"
for file in "$1"/*.toml; do
  name=$(basename "$file" .toml)
  cp "$file" "$2/$name.toml"
  for copy in Y Z; do
    sed -e "0,/^id = /s/^id = \"\(.*\)\"$/id = \"\1-$copy\"/" \
        -e "/^mtm = /s/\"[0-9A-Za-z]\([0-9A-Za-z]\{3\}\)\"/\"$copy\1\"/g" "$file" >"$2/$name-$copy.toml"
  done
done
