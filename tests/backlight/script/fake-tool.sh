#!/bin/sh
# Stands in for framework_tool.exe and qmk_hid.exe: copied under those names
# into a test directory. Each call appends its arguments, each in brackets, as
# one line to NAME.log ("[--kblight][50]") and answers with the next line of
# NAME.replies (an empty line once they run out); a reply starting with
# "stderr:" goes to standard error instead.
dir=$(dirname "$0")
name=$(basename "$0")
line=
for argument in "$@"; do line="$line[$argument]"; done
printf '%s\n' "$line" >>"$dir/$name.log"
replies=$dir/$name.replies
[ -f "$replies" ] || exit 0
reply=$(head -n 1 "$replies")
tail -n +2 "$replies" >"$replies.rest"
mv "$replies.rest" "$replies"
case "$reply" in
  stderr:*) printf '%s\n' "${reply#stderr:}" >&2 ;;
  *) printf '%s\n' "$reply" ;;
esac
exit 0
