#!/usr/bin/env bash
# `celvio-cli --help` and the manual page name the same commands and options.
set -euo pipefail
cli=$1 page=$2

help=$("$cli" --help)
# Roff writes a dash as \- and switches fonts with \fX; the text between is what a reader sees.
man=$(sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' "$page")

options() { grep -oE -- '(^|[^[:alnum:]-])--?[[:alpha:]][[:alnum:]-]*' | grep -oE -- '--?[[:alpha:]][[:alnum:]-]*' | sort -u; }
help_options=$(options <<<"$help")
# --help and -h print the usage itself, which need not name them.
man_options=$(grep -v '^\.\\"' <<<"$man" | options | grep -vxE -- '--help|-h')
help_options=$(grep -vxE -- '--help|-h' <<<"$help_options" || true)

# Commands: the help's lines indented by two spaces, the manual's synopsis lines.
help_commands=$(sed -n 's/^  \([a-z][a-z-]*\)\( .*\)\{0,1\}$/\1/p' <<<"$help" | sort -u)
man_commands=$(sed -n 's/^\.B celvio-cli \([a-z][a-z-]*\)$/\1/p' <<<"$man" | sort -u)

status=0
compare() {
  local what=$1 from_help=$2 from_man=$3
  [ -n "$from_help" ] || { echo "no $what found in --help" >&2; status=1; return; }
  if [ "$from_help" != "$from_man" ]; then
    echo "$what differ (< --help, > manual page):" >&2
    diff <(echo "$from_help") <(echo "$from_man") >&2 || true
    status=1
  fi
}
compare options "$help_options" "$man_options"
compare commands "$help_commands" "$man_commands"
[ $status -eq 0 ] && echo "options:" $help_options "; commands:" $help_commands  # one line
exit $status
