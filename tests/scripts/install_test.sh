#!/usr/bin/env bash
# The program as installed, run with no build tree within its reach: `cmake --install` with the
# prefix /usr into a temporary DESTDIR, the installed tree then moved elsewhere, and the installed
# program started from there offscreen, in a fresh home, without KT_RESOURCES. It must have its
# files in Debian's places, find the installed resources from its own folder and draw the first
# screen, then stop on SIGTERM with status 0.
# Usage: install_test.sh <cmake> <build dir>
set -euo pipefail
cmake=$1
build=$2
tmp=$(mktemp -d)
pid=""
xvfb=""
cleanup() {
  for p in $pid $xvfb; do
    kill -KILL "$p" 2>/dev/null || true
    wait "$p" 2>/dev/null || true
  done
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  if [ -s "$tmp/log" ]; then
    echo "the program said:" >&2
    sed 's/^/  | /' "$tmp/log" >&2
  fi
  exit 1
}

# Installing only copies files. Where the test runs as root, the install runs as a user who
# cannot write the build tree, whose only failure may be CMake's own list of the installed files
# (install_manifest.txt, written last).
# That user must be able to read both trees: a checkout inside a private folder (mktemp -d's 0700)
# is not, and there the install runs as root as it does elsewhere.
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
as_nobody() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null &&
  as_nobody test -r "$build/cmake_install.cmake" -a -r "$source_dir/CMakeLists.txt"; then
  chmod 755 "$tmp"
  mkdir -m 777 "$tmp/stage"
  status=0
  as_nobody env DESTDIR="$tmp/stage" \
    "$cmake" --install "$build" --prefix /usr >"$tmp/install.log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    errors=$(grep -A3 'CMake Error' "$tmp/install.log" | grep -v -e 'CMake Error at .*cmake_install.cmake' \
      -e 'file failed to open for writing (Permission denied)' -e "$build/install_manifest.txt" -e '^--$' -e '^\s*$' || true)
    [ -z "$errors" ] || { cat "$tmp/install.log" >&2; fail "cmake --install by a user who cannot write the build tree failed"; }
  fi
else
  DESTDIR="$tmp/stage" "$cmake" --install "$build" --prefix /usr >"$tmp/install.log" 2>&1 ||
    { cat "$tmp/install.log" >&2; fail "cmake --install failed"; }
fi
# Nothing may depend on where it was installed.
mv "$tmp/stage" "$tmp/elsewhere"
root=$(cd "$tmp/elsewhere" && pwd -P)

# The layout.
for f in usr/bin/ktv_client \
  usr/share/ktv-client/Info.plist \
  usr/share/ktv-client/Settings.bundle/Root.plist \
  usr/share/ktv-client/PRRefresh.bundle/zh-Hans.lproj/Localizable.strings \
  usr/share/ktv-client/images/Default-Landscape.png \
  usr/share/ktv-client/images/Default-Landscape@2x.png \
  usr/lib/systemd/user/ktv-client.service \
  usr/share/applications/ktv-client.desktop \
  usr/share/icons/hicolor/48x48/apps/ktv-client.png \
  usr/share/icons/hicolor/128x128/apps/ktv-client.png \
  usr/share/icons/hicolor/256x256/apps/ktv-client.png \
  usr/share/icons/hicolor/scalable/apps/ktv-client.svg \
  usr/share/man/man1/ktv_client.1.gz \
  usr/share/doc/ktv-client/copyright; do
  [ -f "$root/$f" ] || fail "not installed: /$f"
done
[ -x "$root/usr/bin/ktv_client" ] || fail "/usr/bin/ktv_client is not executable"
[ "$(ls -A "$root")" = usr ] || fail "installed outside /usr: $(ls -A "$root" | tr '\n' ' ')"
strays=$(cd "$root" && find . -name 'kt_venue*' -o -name 'test_*' -o -name 'bench_*' -o -name '.artwork-stamp' \
  -o -path ./usr/share/ktv-client/icons)
[ -z "$strays" ] || fail "installed but not part of the program: $strays"
# The unit names the program alone: systemd finds it on its own path, wherever it was installed.
grep -qx 'ExecStart=ktv_client' "$root/usr/lib/systemd/user/ktv-client.service" ||
  fail "the unit does not start ktv_client: $(grep ExecStart "$root/usr/lib/systemd/user/ktv-client.service")"
grep -qx 'Exec=ktv_client' "$root/usr/share/applications/ktv-client.desktop" || fail "the desktop entry's Exec"
grep -qx 'Icon=ktv-client' "$root/usr/share/applications/ktv-client.desktop" || fail "the desktop entry's Icon"
grep -qx 'StartupWMClass=ktv-client' "$root/usr/share/applications/ktv-client.desktop" ||
  fail "the desktop entry's StartupWMClass"
grep -q '<svg ' "$root/usr/share/icons/hicolor/scalable/apps/ktv-client.svg" || fail "the scalable icon is not an SVG"

# A PNG's size from its header: "WIDTHxHEIGHT".
png_size() {
  [ "$(od -An -c -j1 -N3 "$1" | tr -d ' ')" = PNG ] || { echo "not a PNG"; return; }
  od -An -tu1 -j16 -N8 "$1" | awk '{ print $3 * 256 + $4 "x" $7 * 256 + $8 }'
}
for size in 48 128 256; do
  got=$(png_size "$root/usr/share/icons/hicolor/${size}x${size}/apps/ktv-client.png")
  [ "$got" = "${size}x${size}" ] || fail "the ${size}x${size} icon is $got"
done

# The installed program, offscreen, in a fresh home, with nothing but its own folder to find its
# resources by. The venue and the cloud hosts are pointed at a closed port on loopback.
home="$tmp/home"
mkdir -p "$home" "$tmp/screens"
map=""
for host in bind.ktvcloud.example api.ktvcloud.example song.ktvcloud.example search.ktvcloud.example img.ktvcloud.example; do
  map="${map:+$map,}$host:80=127.0.0.1:1"
done

# The installed program started in the background ($pid) with nothing of this environment but its
# path: the fresh home, no sound, the hosts map above and the closed venue port, its log on
# standard error into a new $tmp/log, and the variables given ("NAME=value") besides.
start_installed() {
  : >"$tmp/log"
  env -i PATH=/usr/bin:/bin HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
    XDG_CACHE_HOME="$home/.cache" TMPDIR="$tmp" KT_LOG_STDERR=1 KT_AUDIO_OUTPUT=none KT_HOST_MAP="$map" \
    ${LSAN_OPTIONS:+"LSAN_OPTIONS=$LSAN_OPTIONS"} ${TSAN_OPTIONS:+"TSAN_OPTIONS=$TSAN_OPTIONS"} "$@" \
    "$root/usr/bin/ktv_client" -Server_Ip 127.0.0.1 -Server_Port 1 -webService_Port 1 >/dev/null 2>"$tmp/log" &
  pid=$!
}
# Waits up to two minutes, however slow the machine, for the program's log to hold the line $1;
# fails with $2 when the program ends first, with $3 when the line does not come.
wait_for_log() {
  for _ in $(seq 1200); do
    grep -q "$1" "$tmp/log" && return
    kill -0 "$pid" 2>/dev/null || fail "$2"
    sleep 0.1
  done
  grep -q "$1" "$tmp/log" || fail "$3"
}
# Ends the program with SIGTERM; its exit status in $status.
stop_installed() {
  kill -TERM "$pid"
  status=0
  wait "$pid" || status=$?
  pid=""
}

start_installed KT_OFFSCREEN=1 KT_SCREENS_DIR="$tmp/screens"
# The screenshot of the first screen is taken a moment after launch; waited for by its log line
# (written once the file is complete).
wait_for_log "screenshot $tmp/screens/start.png" "the installed program ended before drawing its first screen" \
  "no screenshot of the first screen within two minutes"
[ "$(png_size "$tmp/screens/start.png")" != "not a PNG" ] || fail "start.png is not a PNG"

resources=$(sed -n 's/.*started: resources \(.*\), settings .*/\1/p;T;q' "$tmp/log")
[ "$resources" = "$root/usr/share/ktv-client" ] ||
  fail "the resources are \"$resources\", not the installed $root/usr/share/ktv-client"

stop_installed
[ "$status" -eq 0 ] || fail "ended with status $status on SIGTERM"

# On X11 the installed program's window carries the desktop entry's class and the installed icon,
# so that a desktop groups it under the entry (on a private X server chosen by the server itself).
if command -v Xvfb >/dev/null && command -v xprop >/dev/null && command -v xwininfo >/dev/null; then
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$tmp/xdisplay" 2>"$tmp/xvfb.log" &
  xvfb=$!
  for _ in $(seq 600); do
    [ -s "$tmp/xdisplay" ] && break
    kill -0 "$xvfb" 2>/dev/null || fail "Xvfb did not start: $(cat "$tmp/xvfb.log")"
    sleep 0.1
  done
  display=":$(tr -d '\n' <"$tmp/xdisplay")"
  [ "$display" != ":" ] || fail "Xvfb named no display"
  start_installed DISPLAY="$display"
  wait_for_log "shown in a window" "the installed program ended before showing its window on $display" \
    "no window on $display within two minutes"
  window=$(DISPLAY=$display xwininfo -root -tree | awk '!found && /\("ktv-client" "ktv-client"\)/ { print $1; found = 1 }')
  [ -n "$window" ] || fail "no window of class ktv-client: $(DISPLAY=$display xwininfo -root -tree | grep -E '^ +0x' | head -n 5)"
  # Read whole before it is looked at: with pipefail, a grep -q that stops at its match would make
  # the writer before it fail.
  icon=$(DISPLAY=$display xprop -id "$window" _NET_WM_ICON)
  [[ $(head -n 2 <<<"$icon") == *'Icon (128 x 128)'* ]] || fail "the window has no 128-pixel icon: ${icon:0:200}"
  stop_installed
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
  xvfb=""
  [ "$status" -eq 0 ] || fail "the window's program ended with status $status on SIGTERM"
fi
echo "installed under $root/usr: found its resources there and drew $tmp/screens/start.png"
