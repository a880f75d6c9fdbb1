#!/usr/bin/env bash
# The Debian package, made by CPack from the build the other tests run (the normal build is
# RelWithDebInfo like scripts/package's own, and CPack strips its copies, so the package holds the
# same files without a second full build), checked as dpkg and lintian see it: its name, fields
# and Depends, its files (all under /usr, the program stripped) and no lintian error.
# Skipped (77) where dpkg's tools are not there.
# Usage: package_test.sh <cpack> <build dir> <program>
set -euo pipefail
cpack=$1
build=$2
program=$3
for tool in dpkg-deb dpkg-shlibdeps dpkg; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed: no Debian package to make"; exit 77; }
done
command -v lintian >/dev/null || { echo "FAIL: lintian is not installed (scripts/setup installs it)" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The build's own package settings, with the package and its staging put in a temporary folder.
# (Under Ninja cpack only installs: it builds nothing in the tree the other tests use.)
cat >"$tmp/config.cmake" <<EOF
include("$build/CPackConfig.cmake")
set(CPACK_PACKAGE_DIRECTORY "$tmp/out")
EOF
"$cpack" --config "$tmp/config.cmake" >"$tmp/cpack.log" 2>&1 || { cat "$tmp/cpack.log" >&2; fail "cpack failed"; }

version=$("$program" --version | sed -n 's/^ktv_client //p')
arch=$(dpkg --print-architecture)
deb="$tmp/out/ktv-client_${version}_${arch}.deb"
[ -f "$deb" ] || fail "no $(basename "$deb"); made: $(cd "$tmp/out" && ls -- *.deb 2>/dev/null)"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = ktv-client ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), the program says $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer: $(field Maintainer)"
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
# The libraries dpkg-shlibdeps finds (SDL2, Cairo, Pango, curl) and what the program loads at run
# time that no linker sees.
for wanted in 'libsdl2-2\.0-0' 'libcairo2' 'libpango-1\.0-0' 'libcurl[0-9]' 'fonts-noto-cjk' \
  'libdecor-0-plugin-1-cairo' 'gstreamer1\.0-plugins-base' 'gstreamer1\.0-plugins-good' 'gstreamer1\.0-libav'; do
  grep -Eq "(^|, )$wanted[^,]*" <<<"$depends" || fail "Depends names no $wanted: $depends"
done

dpkg-deb --fsys-tarfile "$deb" | tar -t >"$tmp/files"
for f in ./usr/bin/ktv_client ./usr/share/ktv-client/Info.plist ./usr/share/ktv-client/Settings.bundle/Root.plist \
  ./usr/share/ktv-client/images/Default-Landscape@2x.png ./usr/lib/systemd/user/ktv-client.service \
  ./usr/share/applications/ktv-client.desktop ./usr/share/icons/hicolor/256x256/apps/ktv-client.png \
  ./usr/share/doc/ktv-client/copyright; do
  grep -qxF "$f" "$tmp/files" || fail "the package has no $f"
done
outside=$(grep -vE '^\./(usr/.*)?$' "$tmp/files" || true)
[ -z "$outside" ] || fail "files outside /usr: $outside"

dpkg-deb -x "$deb" "$tmp/root"
grep -qx 'ExecStart=/usr/bin/ktv_client' "$tmp/root/usr/lib/systemd/user/ktv-client.service" || fail "the unit's ExecStart"
if readelf -S "$tmp/root/usr/bin/ktv_client" | grep -Eq '\.(debug_info|symtab)\b'; then
  fail "the program is not stripped"
fi

# Status 2: it found an error; 1: it could not look.
status=0
lintian --fail-on error --tag-display-limit 0 "$deb" >"$tmp/lintian.log" 2>&1 || status=$?
if [ "$status" -ne 0 ] || grep -q '^E: ' "$tmp/lintian.log"; then
  cat "$tmp/lintian.log" >&2
  fail "lintian reports errors (status $status)"
fi
echo "$(basename "$deb"): $(wc -l <"$tmp/files") entries; lintian: $(grep -c '^W: ' "$tmp/lintian.log" || true) warnings, no error"
