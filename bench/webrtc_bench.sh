#!/usr/bin/env bash
# WebRTC's figures beside motion-JPEG's, measured in one run: owlglance-server
# with a test pattern (moving ball, counter and clock) and aiortc viewers
# (tests/webrtc/whep_client.py), all in a network namespace of the bench's
# own with only its loopback (root). CPU is the server process's own, from
# /proc, over 6 s; every figure is against a baseline of the same run.
#   webrtc_kbps_1080p30      bytes a WebRTC viewer receives, 14 s past its start
#   mjpeg_kbps_1080p30       bytes a motion-JPEG viewer (curl) receives, 8 s
#   h264_encode_cpu_percent_720p30/_1080p30
#                            the server's CPU with one WebRTC viewer, less
#                            its CPU with none (percent of one core)
#   webrtc_latency_ms_p50    from the pattern drawing a 1080p picture to a
#                            viewer's decoding it: the frame number read
#                            back from each decoded picture, against the
#                            pattern's drawing clock (picture N at its start
#                            + N frame times), its start taken from the
#                            earliest motion-JPEG arrivals; so it leaves out
#                            what the earliest motion-JPEG picture took
#                            (its compression, a few ms)
#   webrtc_viewers_10_cpu_ratio_vs_1
#                            the server's CPU with ten WebRTC viewers of the
#                            1080p camera against one; these viewers take
#                            the packets without decoding them (ten
#                            decoders would starve 2 cores)
set -uo pipefail
root=@CMAKE_SOURCE_DIR@
server_program=@CMAKE_BINARY_DIR@/bin/owlglance-server
scratch=$(mktemp -d)
space=owlrtcb$$
server=
cleanup() {
  stop_server
  ip netns del "$space" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT

inside() { ip netns exec "$space" "$@"; }
ip netns add "$space" && inside ip link set lo up && inside ip addr add 127.0.0.2/8 dev lo || {
  echo "webrtc_bench: needs root, for a network namespace of its own" >&2
  exit 1
}
base=http://127.0.0.1:8080
export XDG_CONFIG_HOME=$scratch/config
mkdir -p "$scratch/run/www" "$XDG_CONFIG_HOME/owlglance"
printf 'missing' >"$scratch/run/www/404.html"
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Brackwater Software\\Owlglance\\Version 1.3]\r\n"frun"=hex:00,00,00,00\r\n"portnum"=hex:90,1f,00,00\r\n"maxclients"=hex:32,00,00,00\r\n' \
  >"$XDG_CONFIG_HOME/owlglance/user.reg"

start_server() {  # start_server WIDTHxHEIGHT
  (cd "$scratch/run" && exec env OWLGLANCE_INTERFACES=127.0.0.1 OWLGLANCE_DRIVERS="pattern@$1" \
    ip netns exec "$space" "$server_program") 2>/dev/null &
  server=$!
  for _ in $(seq 50); do
    inside curl -sf -o /dev/null "$base/state" && break
    sleep 0.2
  done
  sleep 3  # the camera at its rate
}
stop_server() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  server=
}
# The server's CPU over 6 s, in percent of one core.
server_cpu() {
  local pid ticks before after
  pid=$(pgrep -f "^$server_program" | head -1)
  ticks=$(getconf CLK_TCK)
  before=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
  sleep 6
  after=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
  echo $(((after - before) * 100 / (ticks * 6)))
}
watching=()
# viewers N [OPTION]: N aiortc viewers for 17 s past their answers, their
# output in $scratch/viewer.K; back once all are answered and have played
# for 3 s, so that no setting up (a certificate, a handshake) is measured.
viewers() {
  watching=()
  for k in $(seq "$1"); do
    inside timeout 60 /usr/bin/python3 "$root/tests/webrtc/whep_client.py" "$base/whep" --measure 14 \
      "${@:2}" >"$scratch/viewer.$k" 2>&1 &
    watching+=($!)
  done
  for _ in $(seq 100); do
    inside curl -s "$base/state" | grep -q "\"webrtc_viewers\": $1}" && break
    sleep 0.2
  done
  sleep 3
}
field() { awk -v name="$1" '$1 == name { print $2 }' "$2"; }

# 1080p: motion-JPEG, then one WebRTC viewer.
start_server 1920x1080
mjpeg=$(inside curl -s --max-time 8 "$base/video" | wc -c)
idle=$(server_cpu)
viewers 1
with=$(server_cpu)
wait "${watching[@]}"
echo "mjpeg_kbps_1080p30: $((mjpeg * 8 / 8 / 1000)) kbps"
echo "webrtc_kbps_1080p30: $(field kbps "$scratch/viewer.1") kbps"
echo "h264_encode_cpu_percent_1080p30: $((with - idle)) percent"
stop_server

start_server 1280x720
idle=$(server_cpu)
viewers 1
with=$(server_cpu)
wait "${watching[@]}"
echo "h264_encode_cpu_percent_720p30: $((with - idle)) percent"
stop_server

start_server 1920x1080
inside timeout 60 /usr/bin/python3 "$root/tests/webrtc/whep_client.py" "$base/whep" --seconds 10 \
  --frames 100000 --latency "$base/video" >"$scratch/latency" 2>&1
echo "webrtc_latency_ms_p50: $(field latency_ms_p50 "$scratch/latency") ms $(grep -o '(.*pictures read.*' "$scratch/latency")"
viewers 1 --no-decode
one=$(server_cpu)
wait "${watching[@]}"
sleep 6  # the encoder stops
viewers 10 --no-decode
ten=$(server_cpu)
wait "${watching[@]}"
played=$(grep -l '^kbps [1-9]' "$scratch"/viewer.* | wc -l)
echo "webrtc_viewers_10_cpu_ratio_vs_1: $(awk -v a="$ten" -v b="$one" 'BEGIN { printf "%.2f", a / (b ? b : 1) }') ratio ($one and $ten percent; $played of 10 received)"
stop_server
