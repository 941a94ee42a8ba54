#!/usr/bin/env bash
# Builds both Debian packages from this build into a temporary folder and checks them:
# their fields and dependencies, their exact file lists, lintian without errors, and an
# install and a purge in a throwaway root (never the machine's own system).
set -euo pipefail
build=$1 version=$2
arch=$(dpkg --print-architecture)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

started=$SECONDS
if ! cpack --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1; then
  cat "$tmp/cpack.log" >&2
  exit 1
fi
echo "cpack: $((SECONDS - started)) s"
app=$tmp/out/celvio_${version}_${arch}.deb
sim=$tmp/out/celvio-sim_${version}_${arch}.deb

fail() { echo "FAIL: $*" >&2; exit 1; }

dpkg-deb --info "$app"
for deb in "$app" "$sim"; do
  [ "$(dpkg-deb --field "$deb" Version)" = "$version" ] || fail "$deb: version is not $version"
done
# usbmuxd and the symbol font by hand; the libraries through dpkg-shlibdeps.
depends=$(dpkg-deb --field "$app" Depends | tr -d ' ' | tr ',' '\n' | sed 's/(.*//' | sort)
for package in usbmuxd fonts-material-design-icons-iconfont libc6 libstdc++6 libssl3 libplist3 \
  libsqlite3-0 libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libqt6charts6; do
  grep -qx "$package" <<<"$depends" || fail "celvio does not depend on $package"
done
sim_depends=$(dpkg-deb --field "$sim" Depends)
grep -q libssl3 <<<"$sim_depends" || fail "celvio-sim does not depend on libssl3"
! grep -qE 'usbmuxd|qt6' <<<"$sim_depends" || fail "celvio-sim needs neither usbmuxd nor Qt: $sim_depends"

files() { dpkg-deb --contents "$1" | awk '$1 !~ /^d/ { print $6 }' | sort; }
want_app=$(sort <<'LIST'
./usr/bin/celvio
./usr/bin/celvio-cli
./usr/share/applications/celvio.desktop
./usr/share/bash-completion/completions/celvio-cli
./usr/share/doc/celvio/changelog.gz
./usr/share/doc/celvio/copyright
./usr/share/icons/hicolor/128x128/apps/celvio.png
./usr/share/icons/hicolor/scalable/apps/celvio.svg
./usr/share/man/man1/celvio-cli.1.gz
./usr/share/man/man1/celvio.1.gz
./usr/share/metainfo/io.github.celvio.Celvio.metainfo.xml
LIST
)
diff <(echo "$want_app") <(files "$app") || fail "celvio's files differ (< wanted, > packaged)"
want_sim=$(sort <<'LIST'
./usr/bin/celvio-sim
./usr/share/doc/celvio-sim/changelog.gz
./usr/share/doc/celvio-sim/copyright
./usr/share/man/man1/celvio-sim.1.gz
LIST
)
diff <(echo "$want_sim") <(files "$sim" | grep -v '^\./usr/share/celvio-sim/scenarios/') ||
  fail "celvio-sim's files differ (< wanted, > packaged)"
files "$sim" | grep -q '^\./usr/share/celvio-sim/scenarios/two-devices\.json$' || fail "celvio-sim has no scenarios"

# Errors fail; warnings and notes are shown.
lintian --fail-on error --tag-display-limit 0 --display-info "$app" "$sim" 2> >(grep -v 'root privileges' >&2) ||
  fail "lintian reports errors"

# The throwaway root's package database starts as a copy of this machine's, without its
# files or triggers, so the dependencies must be met by real Debian packages.
root=$tmp/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
cp /var/lib/dpkg/status "$root/var/lib/dpkg/status"
dpkg_root() { fakeroot dpkg --root="$root" --log=/dev/null --force-not-root "$@"; }
dpkg_root --install "$app" "$sim" >"$tmp/install.log" 2>&1 || { cat "$tmp/install.log" >&2; fail "install"; }
for package in celvio celvio-sim; do
  [ "$(dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Status}' "$package")" = "install ok installed" ] ||
    fail "$package is not installed"
done
# The installed, stripped programs start.
"$root/usr/bin/celvio-cli" --help | grep -q '^usage: celvio-cli' || fail "installed celvio-cli --help"
"$root/usr/bin/celvio-sim" --help | grep -q '^usage: celvio-sim' || fail "installed celvio-sim --help"
gzip -t "$root/usr/share/man/man1/celvio-cli.1.gz" "$root/usr/share/doc/celvio/changelog.gz"

dpkg_root --purge celvio celvio-sim >"$tmp/purge.log" 2>&1 || { cat "$tmp/purge.log" >&2; fail "purge"; }
left=$(cd "$root" && find . -mindepth 1 ! -path './var' ! -path './var/lib' ! -path './var/lib/dpkg' ! -path './var/lib/dpkg/*')
[ -z "$left" ] || fail "left behind after purge: $left"
echo "celvio and celvio-sim $version: fields, files, lintian, install and purge all good"
