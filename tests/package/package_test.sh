#!/usr/bin/env bash
# The Debian package as a person meets it: built and checked by lintian,
# installed, and its programs run on port 80 by a user who isn't root; then
# the same port for the programs that `./owl run` and `./owl serve` start.
# Prints "ok - ..." or "not ok - ..." per check. Needs root: it installs the
# package and creates a throwaway user, and removes both at the end.
set -uo pipefail
cd "$(dirname "$0")/../.."

scratch=$(mktemp -d /tmp/owl-package-XXXXXX)
chmod 755 "$scratch"
user=owlpkg$$
pids=()
installed_before=$(dpkg-query -W -f='${Status}' owlglance 2>/dev/null | grep -c 'ok installed')

cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill -TERM -- "-$pid" 2>/dev/null; done
  sleep 0.5
  for pid in "${pids[@]}"; do kill -KILL -- "-$pid" 2>/dev/null; done
  userdel "$user" 2>/dev/null
  [ "$installed_before" -eq 0 ] && dpkg --purge owlglance >/dev/null 2>&1 &&
    rm -rf /var/lib/owlglance
  rm -rf "$scratch"
}
trap cleanup EXIT

source tests/support/checks.sh

if [ "$(id -u)" -ne 0 ]; then
  echo "ok - package tests # skip: they install a package and add a user, which needs root"
  exit 0
fi

# --- the package file --------------------------------------------------------
check "the package builds and lintian finds no error" ./owl package
deb=$(ls build/package/owlglance_1.3.0-1_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || { echo "not ok - no owlglance_1.3.0-1_*.deb in build/package"; exit 1; }

holds_every_file() {
  local listing missing=0 path
  listing=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|')
  for path in /usr/bin/owlglance /usr/bin/owlglance-server \
      /usr/lib/owlglance/owlglance /usr/lib/owlglance/owlglance-server \
      /usr/share/owlglance/www/404.html /usr/share/applications/owlglance.desktop \
      /usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128}/apps/owlglance.png \
      /usr/share/man/man1/owlglance.1.gz /usr/share/man/man1/owlglance-server.1.gz \
      /usr/share/doc/owlglance/readme.pdf /lib/systemd/system/owlglance-server.service; do
    grep -qxF "$path" <<<"$listing" || { echo "missing: $path"; missing=1; }
  done
  return $missing
}
check "dpkg-deb -c lists every file the package promises" holds_every_file

dpkg-deb -x "$deb" "$scratch/contents"
check "desktop-file-validate passes the menu entry" \
  desktop-file-validate "$scratch/contents/usr/share/applications/owlglance.desktop"

icon_sizes_match() {
  local size
  for size in 16 32 48 64 128; do
    [ "$(identify -format '%wx%h' \
      "$scratch/contents/usr/share/icons/hicolor/${size}x$size/apps/owlglance.png")" = \
      "${size}x$size" ] || { echo "the ${size}x$size icon has another size"; return 1; }
  done
}
check "each icon has its folder's size" icon_sizes_match

# --- installed ---------------------------------------------------------------
check "dpkg -i installs the package" dpkg -i "$deb"
check "systemd-analyze verify finds nothing in the service" \
  sh -c 'out=$(systemd-analyze verify /lib/systemd/system/owlglance-server.service 2>&1);
         echo "$out"; [ -z "$out" ]'
check "the service is disabled until enabled" \
  sh -c '[ "$(systemctl is-enabled owlglance-server.service 2>&1)" = disabled ]'
check "the programs may bind low ports, and nothing more" \
  sh -c 'for p in owlglance owlglance-server; do
           getcap /usr/lib/owlglance/$p | grep -qE "cap_net_bind_service[=+]ep$" || exit 1
         done'

# The throwaway user, with settings that keep port 80 and the test pattern
# as its only camera.
home=$scratch/home
useradd --no-create-home --home-dir "$home" --shell /bin/sh "$user"
mkdir -p "$home/.config/owlglance"
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Brackwater Software\\Owlglance\\Version 1.3]\r\n"portnum"=dword:00000050\r\n' \
  >"$home/.config/owlglance/user.reg"
chown -R "$user:" "$home"

as_user() {  # as_user COMMAND...: in the background, in a session of its own
  setsid setpriv --reuid="$user" --regid="$user" --init-groups \
    env -i HOME="$home" PATH=/usr/bin:/bin OWLGLANCE_DRIVERS=pattern "$@" \
    >>"$scratch/programs.log" 2>&1 &
  pids+=($!)
}

# True when port 80 answers GET /video with the stream's head and a JPEG.
streams_on_port_80() {
  local i
  for i in $(seq 100); do
    curl -s -o /dev/null http://127.0.0.1:80/ && break
    sleep 0.1
  done
  rm -f "$scratch/video"
  curl -s -i --max-time 3 http://127.0.0.1:80/video -o "$scratch/video" || true
  LC_ALL=C grep -qa 'multipart/x-mixed-replace' "$scratch/video" &&
    LC_ALL=C grep -qaP '\xff\xd8\xff' "$scratch/video" ||
    { echo "no stream on port 80:"; tail -5 "$scratch/programs.log"; return 1; }
}

# Stops the last program started, with SIGTERM; true when it exits with 0.
stops_cleanly() {
  local pid=${pids[-1]}
  kill -TERM "$pid"
  wait "$pid"
}

port_80_free() { ! ss -Hltn 'sport = :80' | grep -q .; }

if ! port_80_free; then
  echo "ok - port 80 tests # skip: port 80 is taken on this machine ($(ss -Hltnp 'sport = :80' | head -1))"
  exit 0
fi

as_user /usr/bin/owlglance-server
check "/usr/bin/owlglance-server serves GET /video on port 80 as a user" streams_on_port_80
check "SIGTERM stops it with status 0" stops_cleanly
www=$home/.local/share/owlglance/www
check "its working folder holds www/404.html" test -f "$www/404.html"
echo "the wizard's page" >"$www/index.html"
as_user /usr/bin/owlglance-server --version
wait "${pids[-1]}"
check "a later start keeps the working folder's www/ as it is" \
  sh -c "grep -qx \"the wizard's page\" '$www/index.html' && ! test -e '$www/www'"

# The service's own command as systemd would start it (no systemd runs
# here): its user and groups, its environment, its working folder, the
# ambient capability and no new privileges.
unit=/lib/systemd/system/owlglance-server.service
state=/var/lib/owlglance
as_service() {
  local -a environment
  read -r -a environment <<<"$(sed -n 's/^Environment=//p' "$unit" | sed 's|%S|/var/lib|g')"
  mkdir -p "$state" && chown owlglance:owlglance "$state"
  (cd "$state" && exec setsid setpriv --reuid=owlglance --regid=owlglance \
    --groups="$(getent group video | cut -d: -f3)" --inh-caps=+net_bind_service --ambient-caps=+net_bind_service \
    --no-new-privs env -i PATH=/usr/bin:/bin OWLGLANCE_DRIVERS=pattern "${environment[@]}" \
    $(sed -n 's/^ExecStart=//p' "$unit") >>"$scratch/programs.log" 2>&1) &
  pids+=($!)
}
as_service
check "the service's command serves port 80 as its user" streams_on_port_80
check "SIGTERM stops the service with status 0" stops_cleanly
check "the service keeps www/ and user.reg in $state" \
  sh -c "test -f $state/www/404.html && test -f $state/user.reg"

# --- the programs that ./owl run and ./owl serve start ---------------------
check "./owl allow-port-80 gives the built programs the capability" \
  sh -c './owl allow-port-80 && getcap build/bin/owlglance-server | grep -q cap_net_bind_service'
mkdir -p "$scratch/serve" && cp -r www "$scratch/serve/" && chown -R "$user:" "$scratch/serve"
as_user sh -c "cd '$scratch/serve' && exec '$PWD/build/bin/owlglance-server'"
check "build/bin/owlglance-server binds port 80 as a user" streams_on_port_80
stops_cleanly

# The desktop program, as a person starts its server: F10 opens the menu at
# File, two to the right is Server, and its fourth item is Start Server
# (after Setup, Share and Access).
as_user sh -c "cd '$scratch/serve' && exec xvfb-run -a -s '-screen 0 1024x768x24' sh -c '
  \"$PWD/build/bin/owlglance\" & program=\$!
  timeout 20 xdotool search --sync --onlyvisible --name \"^Owlglance\" >/dev/null
  sleep 1
  xdotool mousemove 300 200 key F10 sleep 0.3 key Right Right sleep 0.3 key Down Down Down Down Return
  wait \$program'"
check "build/bin/owlglance starts its server on port 80 as a user" streams_on_port_80
