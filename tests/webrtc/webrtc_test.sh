#!/usr/bin/env bash
# owlglance-server's WebRTC viewers with real clients: aiortc (Debian's
# python3-aiortc) as a WHEP client, headless Chromium playing the home page,
# Firefox ESR falling back to motion-JPEG. Everything runs in a network
# namespace of the test's own with only its loopback, so every ICE candidate
# is local; lo gets 127.0.0.2 too, as aiortc skips 127.0.0.1 itself.
set -uo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
scratch=$(mktemp -d)
space=owlrtc$$
cleanup() {
  [ -n "${server:-}" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  ip netns del "$space" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
source tests/support/checks.sh

inside() { ip netns exec "$space" "$@"; }
ip netns add "$space" && inside ip link set lo up && inside ip addr add 127.0.0.2/8 dev lo || {
  echo "not ok - a network namespace of the test's own (needs root)"
  exit 1
}

base=http://127.0.0.1:8080
whep() { inside timeout 60 /usr/bin/python3 "$root/tests/webrtc/whep_client.py" "$@"; }
state() { inside curl -s "$base/state"; }
# state_field PYTHON-EXPRESSION: a value of /state's JSON, as d.
state_field() { state | /usr/bin/python3 -c "import json, sys; d = json.load(sys.stdin); print($1)"; }
# state_is PYTHON-EXPRESSION VALUE: /state's value is VALUE now.
state_is() { test "$(state_field "$1")" = "$2"; }
# eventually SECONDS COMMAND...: COMMAND succeeds within SECONDS.
eventually() {
  local until=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -ge $until ] && return 1
    sleep 0.5
  done
}

# --- the server: two test patterns, 1280x720 and 640x480 -----------------
mkdir -p "$scratch/run/www" "$scratch/config/owlglance"
cp www/whep.js www/404.html "$scratch/run/www/"
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Brackwater Software\\Owlglance\\Version 1.3]\r\n"frun"=hex:00,00,00,00\r\n"portnum"=hex:90,1f,00,00\r\n"maxclients"=hex:08,00,00,00\r\n' \
  >"$scratch/config/owlglance/user.reg"
export XDG_CONFIG_HOME=$scratch/config
(cd "$scratch/run" && exec env OWLGLANCE_INTERFACES=127.0.0.1 \
  OWLGLANCE_DRIVERS=pattern@1280x720,pattern@640x480 \
  ip netns exec "$space" "$root/build/bin/owlglance-server") 2>"$scratch/server.log" &
server=$!
check "the server serves" eventually 10 inside curl -sf -o /dev/null "$base/state"

# --- aiortc: a WHEP client -------------------------------------------------
whep "$base/whep" --frames 30 >"$scratch/aiortc" 2>&1
check "aiortc's offer is answered 201 with SDP" grep -qx "post 201" "$scratch/aiortc"
check "the answer is application/sdp" grep -qx "type application/sdp" "$scratch/aiortc"
check "the answer carries its ICE candidates" grep -qE "^candidates [1-9]" "$scratch/aiortc"
check "aiortc receives 1280x720 H.264 frames" grep -qx "frames 30 1280x720" "$scratch/aiortc"
check "DELETE ends the session" grep -qx "delete 200" "$scratch/aiortc"
check "the viewer is gone from /state" state_is 'd["server"]["webrtc_viewers"]' 0
check "the encoder stops a few seconds after the last viewer" \
  eventually 10 state_is 'd["cameras"][0]["h264_encoding"]' False
whep "$base/cam/1/whep" --frames 10 >"$scratch/second" 2>&1
check "camera 1 at /cam/1/whep: 640x480" grep -qx "frames 10 640x480" "$scratch/second"

# While one watches, /state counts it, and its place is a client's.
whep "$base/whep" --frames 100000 --seconds 6 >"$scratch/watching" 2>&1 &
watcher=$!
check "/state counts the WebRTC viewer and its encoder" eventually 5 state_is \
  '(d["cameras"][0]["webrtc_viewers"], d["cameras"][0]["h264_encoding"], d["server"]["clients"])' \
  "(1, True, 1)"
wait $watcher

# Viewers that come together each get the stream: one joining never stops
# the encoder for the others.
together=()
for i in $(seq 6); do
  whep "$base/cam/1/whep" --no-decode --measure 3 >"$scratch/together.$i" 2>&1 &
  together+=($!)
done
wait "${together[@]}"
check "six viewers at once each receive the stream" bash -c "
  cd '$scratch' && grep -h kbps together.* | tee /dev/stderr | grep -c '^kbps [1-9]' | grep -qx 6"

# --- an offer whose candidates lead nowhere: gone after 10 s ---------------
whep "$base/whep" --offer-only >"$scratch/offer.sdp"
post_offer() {  # post_offer URL [CURL-OPTION...]: the status
  inside curl -s -o /dev/null -w '%{http_code}\n' -H 'Content-Type: application/sdp' \
    --data-binary @"$scratch/offer.sdp" "${@:2}" "$1"
}
check "an offer that never connects is answered" test "$(post_offer "$base/whep")" = 201
check "and its viewer is let go within 10 s" \
  eventually 13 state_is 'd["server"]["webrtc_viewers"]' 0

# --- 50 offers at once: held to the client limit, one encoder --------------
burst=()
for i in $(seq 50); do
  post_offer "$base/whep" >"$scratch/burst.$i" &
  burst+=($!)
done
wait "${burst[@]}"
# A page takes places for itself, whep.js, each picture and each offer: a
# limit of 8 leaves Chromium's two cameras room.
check "50 offers at once: at most 8 sessions (the client limit), the rest 503" bash -c "
  cd '$scratch' && cat burst.* | sort | uniq -c | tee /dev/stderr |
  awk '\$2 == 201 { s += \$1 } \$2 != 201 && \$2 != 503 { bad = 1 } END { exit !(s >= 1 && s <= 8 && !bad) }'"
check "every burst's viewer is gone after 10 s" \
  eventually 13 state_is 'd["server"]["webrtc_viewers"]' 0

# --- Chromium plays the home page through WebRTC ---------------------------
node=$root/build/node
chromium_page() {  # chromium_page MODE: what tests/webrtc/play_page.cjs prints
  inside env NODE_PATH="$node/node_modules" node "$root/tests/webrtc/play_page.cjs" "$base/" "$@"
}
check "the home page was written with the WebRTC script" grep -q 'SRC="whep.js"' "$scratch/run/www/index.html"
chromium_page webrtc >"$scratch/chromium" 2>&1
check "Chromium plays both cameras through WebRTC, H.264, frames decoded rising" bash -c "
  cat '$scratch/chromium'; grep -qx 'video/H264 1280x720 rising video/H264 640x480 rising' '$scratch/chromium'"
chromium_page off >"$scratch/fallback" 2>&1
check "Chromium without WebRTC shows the motion-JPEG pictures" bash -c "
  cat '$scratch/fallback'; grep -qx 'img 1280 img 640' '$scratch/fallback'"

# --- Firefox ESR: no H.264 here, so the motion-JPEG pictures stay ----------
check "Firefox ESR shows the home page's motion-JPEG pictures" bash -c "
  profile=\$(mktemp -d) && HOME=\$profile ip netns exec '$space' timeout 60 firefox-esr --headless \
    --no-remote --profile \$profile --window-size 1400,1600 --screenshot '$scratch/firefox.png' \
    '$base/' >/dev/null 2>&1; rm -rf \$profile
  convert '$scratch/firefox.png' -format '%k' info: | awk '{ exit !(\$1 > 100) }'"

# --- a password: asked of offers as of every request -----------------------
printf 'anna\nsecret\n' | "$root/build/bin/owlglance-server" --set-password >/dev/null 2>&1
offer_is() { test "$(post_offer "$1")" = "$2"; }
check "with a password, an offer without it gets 401" eventually 5 offer_is "$base/whep" 401
whep "$base/whep" --user anna --password secret --frames 5 --seconds 30 >"$scratch/password" 2>&1
check "with it, 201 and frames" bash -c "cat '$scratch/password'; grep -qx 'post 201' '$scratch/password' &&
  grep -qx 'frames 5 1280x720' '$scratch/password'"
check "the server logged no GStreamer fault" bash -c "! grep -qiE 'critical|segfault' '$scratch/server.log'"
