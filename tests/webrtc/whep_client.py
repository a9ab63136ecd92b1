#!/usr/bin/python3
"""A WHEP client as a viewer's program runs it (aiortc): POSTs an offer for
H.264 video, plays what comes, ends the session with DELETE.

usage: whep_client.py URL [--user U --password P] [--frames N] [--seconds S]
                        [--keep] [--offer-only] [--measure S] [--no-decode]
                        [--latency MJPEG_URL]
prints: "post STATUS", then "frames N WIDTHxHEIGHT" and "delete STATUS"
when the post was answered 201."""
import argparse
import asyncio
import base64
import socket
import statistics
import sys
import time
import urllib.parse

import av
import requests
from aiortc import RTCPeerConnection, RTCSessionDescription, rtcrtpreceiver

# The RTP bytes received (header and payload, as decrypted).
received = {"bytes": 0}
_handle_rtp = rtcrtpreceiver.RTCRtpReceiver._handle_rtp_packet


async def _count_bytes(self, packet, arrival_time_ms):
    received["bytes"] += 12 + len(packet.payload)
    return await _handle_rtp(self, packet, arrival_time_ms)


rtcrtpreceiver.RTCRtpReceiver._handle_rtp_packet = _count_bytes


# The test pattern's caption, "FRAME 000123", in its 5 x 7 font: each digit's
# rows, the low five bits.
DIGITS = {0: (14, 17, 19, 21, 25, 17, 14), 1: (4, 12, 4, 4, 4, 4, 14), 2: (14, 17, 1, 2, 4, 8, 31),
          3: (31, 2, 4, 2, 1, 17, 14), 4: (2, 6, 10, 18, 31, 2, 2), 5: (31, 16, 30, 1, 1, 17, 14),
          6: (6, 8, 16, 30, 17, 17, 14), 7: (31, 1, 2, 4, 8, 8, 8), 8: (14, 17, 17, 14, 17, 17, 14),
          9: (14, 17, 17, 15, 1, 2, 12)}
FRAME_SECONDS = 0.033333  # the pattern draws picture N at its start + N times this


def frame_number(gray):
    """The pattern's frame counter read back from a picture (rows of luma),
    or None where a digit is not clear (the ball passing over it)."""
    height, width = gray.shape
    scale = max(1, width // 320)
    top, number = height * 2 // 3 + 18 * scale, 0
    for place in range(6):
        left = 8 * scale + (6 + place) * 6 * scale
        rows = tuple(sum(16 >> c for c in range(5)
                         if gray[top + r * scale + scale // 2, left + c * scale + scale // 2] > 128)
                     for r in range(7))
        digit = [d for d, glyph in DIGITS.items() if glyph == rows]
        if not digit:
            return None
        number = number * 10 + digit[0]
    return number


def capture_clock(mjpeg_url, auth, seconds=3):
    """When the pattern drew its picture 0, on this machine's monotonic
    clock (the server's steady clock): the earliest arrival of a motion-JPEG
    picture, less its number's frame times. Its own way out (compression,
    sending) stays in, a few milliseconds."""
    av.logging.set_level(av.logging.ERROR)  # not a word for each full-range picture
    decoder = av.CodecContext.create("mjpeg", "r")
    url = urllib.parse.urlsplit(mjpeg_url)
    head = "GET %s HTTP/1.0\r\n" % (url.path or "/")
    if auth:
        head += "Authorization: Basic %s\r\n" % base64.b64encode(":".join(auth).encode()).decode()
    start, earliest, data = time.monotonic(), None, b""
    # A socket of its own: recv gives each picture's bytes as they come,
    # where a buffered reader would wait for a full buffer.
    with socket.create_connection((url.hostname, url.port or 80), timeout=10) as viewer:
        viewer.sendall((head + "\r\n").encode())
        while time.monotonic() - start < seconds:
            chunk = viewer.recv(1 << 20)
            if not chunk:
                break
            arrived = time.monotonic()
            data += chunk
            end = data.find(b"\xff\xd9")
            if end < 0:
                continue
            picture, data = data[data.find(b"\xff\xd8"):end + 2], data[end + 2:]
            for frame in decoder.decode(av.Packet(picture)):
                number = frame_number(frame.to_ndarray(format="gray"))
                if number is not None:
                    drawn = arrived - number * FRAME_SECONDS
                    earliest = drawn if earliest is None else min(earliest, drawn)
    return earliest


class _Undecoded:
    """Takes frames without decoding them: a viewer that costs its machine
    little, for counting what the sender spends on many."""

    def decode(self, encoded_frame):
        return []


async def watch(args):
    pc = RTCPeerConnection()
    pc.addTransceiver("video", direction="recvonly")
    frames, latencies = [], []
    enough = asyncio.Event()
    auth = (args.user, args.password) if args.user else None
    drawn = capture_clock(args.latency, auth) if args.latency else None

    @pc.on("track")
    def on_track(track):
        async def take():
            while True:
                try:
                    frame = await track.recv()
                except Exception:
                    return
                frames.append((frame.width, frame.height))
                if drawn is not None and len(frames) > 90:  # past the start
                    number = frame_number(frame.to_ndarray(format="gray"))
                    if number is not None:
                        latencies.append(time.monotonic() - drawn - number * FRAME_SECONDS)
                if len(frames) >= args.frames:
                    enough.set()

        asyncio.ensure_future(take())

    await pc.setLocalDescription(await pc.createOffer())  # gathers its candidates
    if args.offer_only:
        print(pc.localDescription.sdp, end="")
        await pc.close()
        return
    answer = requests.post(args.url, data=pc.localDescription.sdp, auth=auth,
                           headers={"Content-Type": "application/sdp"}, timeout=10)
    print("post", answer.status_code, flush=True)
    if answer.status_code != 201:
        await pc.close()
        return
    print("type", answer.headers.get("Content-Type"), flush=True)
    print("candidates", answer.text.count("a=candidate:"), flush=True)
    await pc.setRemoteDescription(RTCSessionDescription(answer.text, "answer"))
    if args.measure:
        # Past the start, the bytes received over `measure` seconds.
        await asyncio.sleep(3)
        start = received["bytes"]
        await asyncio.sleep(args.measure)
        kbps = (received["bytes"] - start) * 8 / args.measure / 1000
        print("kbps %.0f" % kbps, flush=True)
    else:
        try:
            await asyncio.wait_for(enough.wait(), args.seconds)
        except asyncio.TimeoutError:
            pass
    size = "%dx%d" % frames[-1] if frames else "none"
    print("frames", len(frames), size, flush=True)
    if latencies:
        print("latency_ms_p50 %.0f (%d pictures read, %.0f to %.0f)" % (
            statistics.median(latencies) * 1000, len(latencies), min(latencies) * 1000,
            max(latencies) * 1000), flush=True)
    session = urllib.parse.urljoin(args.url, answer.headers["Location"])
    if not args.keep:
        print("delete", requests.delete(session, auth=auth, timeout=10).status_code, flush=True)
    await pc.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("url")
    parser.add_argument("--user")
    parser.add_argument("--password")
    parser.add_argument("--frames", type=int, default=30)
    parser.add_argument("--seconds", type=float, default=15)
    parser.add_argument("--keep", action="store_true", help="leave without DELETE")
    parser.add_argument("--measure", type=float, default=0,
                        help="print the kbps received over this long, past its start")
    parser.add_argument("--no-decode", action="store_true",
                        help="receive without decoding (no frames are counted)")
    parser.add_argument("--latency", metavar="MJPEG_URL",
                        help="from the test pattern's frame numbers: its drawing clock, read "
                        "from this motion-JPEG stream first, against each picture decoded")
    parser.add_argument("--offer-only", action="store_true",
                        help="print an offer and leave: its candidates lead nowhere")
    args = parser.parse_args()
    if args.no_decode:
        rtcrtpreceiver.get_decoder = lambda codec: _Undecoded()
    asyncio.run(watch(args))


if __name__ == "__main__":
    sys.exit(main())
