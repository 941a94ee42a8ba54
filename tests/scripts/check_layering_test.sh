#!/usr/bin/env bash
# The layering check fails on the fixture tree and names each of its deliberate
# breaches, and nothing that is allowed there (expected-breaches.txt).
set -uo pipefail
check=$1
fixture=$2

if output=$("$check" "$fixture"); then
  echo "check-layering passed a tree with breaches" >&2
  exit 1
fi
if ! diff -u "$fixture/expected-breaches.txt" <(echo "$output"); then
  echo "check-layering reported other breaches than expected" >&2
  exit 1
fi
