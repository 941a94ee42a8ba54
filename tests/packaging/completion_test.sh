#!/usr/bin/env bash
# The bash completion offers the commands, each command's options, and files or folders
# after the options that take them; UDIDs come from a stand-in celvio-cli on PATH.
set -euo pipefail
script=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/bin" "$tmp/work" "$tmp/work/dir"
touch "$tmp/work/db.sqlite"
printf '#!/bin/sh\nprintf "%%s\\n" "UDID  DEVICE ID  CONNECTION" "00008030-AAAA  3  USB" "00008110-BBBB  7  Network"\n' >"$tmp/bin/celvio-cli"
chmod +x "$tmp/bin/celvio-cli"
cd "$tmp/work"
PATH=$tmp/bin:$PATH
# shellcheck source=/dev/null
source "$script"

status=0
# Each row: the words typed so far (the last one is being completed) | the completions.
while IFS='|' read -r line expected; do
  read -ra COMP_WORDS <<<"$line"
  [[ $line == *' ' ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  _celvio_cli
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | xargs)
  if [ "$got" != "$expected" ]; then
    echo "\"$line\": got \"$got\", want \"$expected\"" >&2
    status=1
  fi
done <<'TABLE'
celvio-cli |--help devices history host import-coconut read
celvio-cli h|history host
celvio-cli devices -|--json
celvio-cli read --|--json --raw
celvio-cli host --|--json --raw --root
celvio-cli host --root |dir
celvio-cli history --|--csv --file --json
celvio-cli history --file d|db.sqlite dir
celvio-cli import-coconut --|--file
celvio-cli import-coconut |db.sqlite dir
celvio-cli read |00008030-AAAA 00008110-BBBB
celvio-cli read 0000811|00008110-BBBB
celvio-cli frobnicate |
TABLE
[ $status -eq 0 ] && echo "completion table passed"
exit $status
