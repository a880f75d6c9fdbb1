#!/usr/bin/env bash
# The Debian package as scripts/package makes it, built twice from the same sources in two
# folders (the second mostly from the compiler cache), checked as dpkg and lintian see it: the
# two packages byte for byte the same; its name, fields and Depends (the libraries
# dpkg-shlibdeps finds and what the program loads at run time that no linker sees: the GL stack
# SDL's Wayland driver opens, ALSA's sink for the sound); its files (all under /usr, the program
# stripped, the icons, the man page) beside its debug symbols package, whose documents are the
# program's; the man page's sections as man shows them; the unit's restart policy; no lintian error
# in either package and no hardening tag.
# Skipped (77) where dpkg's tools are not there.
# Usage: package_test.sh <source dir> <work folder>
set -euo pipefail
top=$1
work=$2
for tool in dpkg-deb dpkg-shlibdeps dpkg dpkg-buildflags; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed: no Debian package to make"; exit 77; }
done
command -v lintian >/dev/null || { echo "FAIL: lintian is not installed (scripts/setup installs it)" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Half the cores: the rest of the suite runs beside it.
jobs=$(($(nproc 2>/dev/null || echo 2) / 2))
[ "$jobs" -ge 1 ] || jobs=1
mkdir -p "$work"
# The second folder's build takes the first one's objects from the compiler cache (scripts/package
# keeps the cache's key free of the folders); the first is compiled afresh once, and later runs
# take both from the cache.
for copy in a b; do
  CMAKE_BUILD_PARALLEL_LEVEL=$jobs "$top/scripts/package" "$work/$copy" >"$work/$copy.log" 2>&1 ||
    { tail -n 40 "$work/$copy.log" >&2; fail "scripts/package $work/$copy failed (log: $work/$copy.log)"; }
done

arch=$(dpkg --print-architecture)
version=$("$work/a/ktv_client" --version | sed -n 's/^ktv_client //p')
deb="$work/a/ktv-client_${version}_${arch}.deb"
ddeb="$work/a/ktv-client-dbgsym_${version}_${arch}.ddeb"
[ -f "$deb" ] || fail "no $(basename "$deb"); made: $(cd "$work/a" && ls -- *.deb 2>/dev/null)"
[ -f "$ddeb" ] || fail "no debug symbols package $(basename "$ddeb"); made: $(cd "$work/a" && ls -- *.ddeb 2>/dev/null)"
[[ "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+\+git[0-9]{14}\.[0-9a-f]{12}(\.dirty)?$ ]] ||
  fail "version $version: not <project version>+git<commit time>.<hash>"

# Two builds of one commit in two folders: the same bytes.
for f in "$deb" "$ddeb"; do
  cmp -s "$f" "$work/b/$(basename "$f")" || fail "$(basename "$f") differs between two builds of the same sources
$(diff <(dpkg-deb -c "$f") <(dpkg-deb -c "$work/b/$(basename "$f")") | head -n 20)"
done

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
  'libdecor-0-plugin-1-cairo' 'libegl1' 'libopengl0 \| libgl1' 'libgl1-mesa-dri' \
  'gstreamer1\.0-plugins-base' 'gstreamer1\.0-plugins-good' 'gstreamer1\.0-libav' 'gstreamer1\.0-alsa'; do
  grep -Eq "(^|, )$wanted([ ,]|$)" <<<"$depends" || fail "Depends names no $wanted: $depends"
done

dpkg-deb --fsys-tarfile "$deb" | tar -t >"$tmp/files"
for f in ./usr/bin/ktv_client ./usr/share/ktv-client/Info.plist ./usr/share/ktv-client/Settings.bundle/Root.plist \
  ./usr/share/ktv-client/images/Default-Landscape@2x.png ./usr/lib/systemd/user/ktv-client.service \
  ./usr/share/applications/ktv-client.desktop ./usr/share/icons/hicolor/48x48/apps/ktv-client.png \
  ./usr/share/icons/hicolor/128x128/apps/ktv-client.png ./usr/share/icons/hicolor/256x256/apps/ktv-client.png \
  ./usr/share/icons/hicolor/scalable/apps/ktv-client.svg ./usr/share/man/man1/ktv_client.1.gz \
  ./usr/share/doc/ktv-client/copyright ./usr/share/doc/ktv-client/changelog.gz; do
  grep -qxF "$f" "$tmp/files" || fail "the package has no $f"
done
outside=$(grep -vE '^\./(usr/.*)?$' "$tmp/files" || true)
[ -z "$outside" ] || fail "files outside /usr: $outside"

dpkg-deb -x "$deb" "$tmp/root"
if readelf -S "$tmp/root/usr/bin/ktv_client" | grep -Eq '\.(debug_info|symtab)\b'; then
  fail "the program is not stripped"
fi
# The debug symbols are the program's: found by its build id.
build_id=$(readelf -n "$tmp/root/usr/bin/ktv_client" | sed -n 's/.*Build ID: *\([0-9a-f]*\).*/\1/p')
[ -n "$build_id" ] || fail "the program has no build id"
# (Each listing is read whole before grep looks at it: with pipefail, a grep -q that stops at its
# match would make the writer before it fail.)
grep -q "/usr/lib/debug/.build-id/${build_id:0:2}/${build_id:2}.debug" <<<"$(dpkg-deb -c "$ddeb")" ||
  fail "$(basename "$ddeb") has no symbols for build id $build_id"
# Its checksums name the files as installed, so that dpkg can check them.
strays=$(dpkg-deb --ctrl-tarfile "$ddeb" | tar -xO ./md5sums | grep -v '^[0-9a-f]\{32\}  usr/lib/debug/' || true)
[ -z "$strays" ] || fail "$(basename "$ddeb")'s md5sums name files not as installed: $strays"
# Its documents are the program's package's, as in Debian's debug symbols packages: a link to that
# folder, and the package it depends on at the same version.
ddebfield() { dpkg-deb -f "$ddeb" "$1"; }
grep -q ' \./usr/share/doc/ktv-client-dbgsym -> ktv-client$' <<<"$(dpkg-deb -c "$ddeb")" ||
  fail "$(basename "$ddeb") has no link usr/share/doc/ktv-client-dbgsym -> ktv-client: $(dpkg-deb -c "$ddeb")"
[ "$(ddebfield Depends)" = "ktv-client (= $version)" ] || fail "$(basename "$ddeb")'s Depends: $(ddebfield Depends)"
[ "$(ddebfield Source)" = ktv-client ] || fail "$(basename "$ddeb")'s Source: $(ddebfield Source)"
# Neither the source nor the build folder left in the program.
for folder in "$top" "$work/a"; do
  if grep -aqF "$folder" "$tmp/root/usr/bin/ktv_client"; then fail "the program holds the folder $folder"; fi
done

unit="$tmp/root/usr/lib/systemd/user/ktv-client.service"
grep -qx 'ExecStart=ktv_client' "$unit" || fail "the unit's ExecStart: $(grep ExecStart= "$unit")"
grep -qx 'Restart=on-failure' "$unit" || fail "the unit's Restart: $(grep Restart= "$unit")"
# A wrong argument (2) and what waiting cannot mend (78) are not started again.
prevent=$(sed -n 's/^RestartPreventExitStatus=//p' "$unit" | tr ' ' '\n' | sort -n | tr '\n' ' ')
[ "$prevent" = "2 78 " ] || fail "the unit's RestartPreventExitStatus: \"$prevent\", not \"2 78\""
grep -q '^Documentation=.*man:ktv_client(1)' "$unit" || fail "the unit's Documentation: $(grep Documentation= "$unit")"
grep -qx 'StartupWMClass=ktv-client' "$tmp/root/usr/share/applications/ktv-client.desktop" ||
  fail "the desktop entry's StartupWMClass is not the window's class ktv-client"
grep -q '^\.TH KTV_CLIENT "1"' <<<"$(zcat "$tmp/root/usr/share/man/man1/ktv_client.1.gz")" ||
  fail "the man page has no title line: $(zcat "$tmp/root/usr/share/man/man1/ktv_client.1.gz" | head -n 5)"
# The man page as man shows it: both forms of the command in the synopsis, the exit statuses in
# the description, and the environment's variables each an entry of its own, nothing after them.
MANWIDTH=100 man -l "$tmp/root/usr/share/man/man1/ktv_client.1.gz" 2>/dev/null | col -bx >"$tmp/man.txt" ||
  fail "man cannot show the man page"
section() { awk -v name="$1" '/^[A-Z]/ { inside = ($0 == name) } inside' "$tmp/man.txt"; }
page() { cat "$tmp/man.txt"; }
grep -qx ' *ktv_client --help | -h | --version' <<<"$(section SYNOPSIS)" ||
  fail "the man page's SYNOPSIS lacks the --help form: $(page)"
grep -qx ' *Exit status:' <<<"$(section DESCRIPTION)" || fail "the man page's DESCRIPTION has no exit statuses: $(page)"
grep -q '^ *78 *a fault that waiting cannot mend' <<<"$(section DESCRIPTION)" ||
  fail "the man page's exit statuses lack 78: $(page)"
# The entries' names alone on their lines, at the entries' indent.
names=$(section ENVIRONMENT | sed -n 's/^       \([^ ].*\)$/\1/p' | tr '\n' ' ')
[ "$names" = "KT_FULLSCREEN=1 KT_DISPLAY_WAIT=SECONDS KT_DRAW_SCALE=SCALE KT_OFFSCREEN=1 KT_SCREENS_DIR=FOLDER \
KT_LOG_STDERR=1 KT_RESOURCES=FOLDER KT_CAMERA=PATH KT_HOST_MAP=MAP KT_AUDIO_OUTPUT=none KT_SOUND_DEVICES=FOLDER \
WAYLAND_DISPLAY DISPLAY LANGUAGE " ] || fail "the man page's ENVIRONMENT entries: $names
$(section ENVIRONMENT)"
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  "$tmp/root/usr/share/doc/ktv-client/copyright" || fail "the copyright file is not in the machine-readable format"

# Status 2: it found an error; 1: it could not look. Both packages (without its copyright and
# changelog, the debug symbols package had errors of its own).
status=0
lintian --fail-on error --tag-display-limit 0 "$deb" "$ddeb" >"$tmp/lintian.log" 2>&1 || status=$?
if [ "$status" -ne 0 ] || grep -q '^E: ' "$tmp/lintian.log"; then
  cat "$tmp/lintian.log" >&2
  fail "lintian reports errors (status $status)"
fi
if grep -q ' hardening-' "$tmp/lintian.log"; then
  cat "$tmp/lintian.log" >&2
  fail "lintian says the program is built without the distribution's hardening"
fi
echo "$(basename "$deb"): $(wc -l <"$tmp/files") entries, the same bytes from two builds;" \
  "lintian: $(grep -c '^[WI]: ' "$tmp/lintian.log" || true) warnings and notes, no error, no hardening tag"
