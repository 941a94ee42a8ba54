#!/usr/bin/env bash
# The desktop entry and the AppStream metadata pass their validators, and every screenshot
# the metadata names is kept in packaging/screenshots/ at the size it states.
set -euo pipefail
packaging=$1

desktop-file-validate "$packaging/celvio.desktop"
metainfo=$packaging/io.github.celvio.Celvio.metainfo.xml
appstreamcli validate --no-net "$metainfo"

count=0
while read -r width height url; do
  file=$packaging/screenshots/${url##*/}
  [ -f "$file" ] || { echo "no $file for $url" >&2; exit 1; }
  # A PNG's width and height are the big-endian words at bytes 16 and 20.
  read -r w h < <(od -An -tu1 -j16 -N8 "$file" | awk '{ print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }')
  [ "$w $h" = "$width $height" ] || { echo "$file is ${w}x$h, the metadata says ${width}x$height" >&2; exit 1; }
  count=$((count + 1))
done < <(sed -n 's|.*<image type="source" width="\([0-9]*\)" height="\([0-9]*\)">\([^<]*\)</image>.*|\1 \2 \3|p' "$metainfo")
[ "$count" -gt 0 ] || { echo "no screenshots in $metainfo" >&2; exit 1; }
echo "metadata valid, $count screenshots present"
