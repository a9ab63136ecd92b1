#!/usr/bin/python3
"""A WHEP client as a viewer's program runs it (aiortc): POSTs an offer for
H.264 video, plays what comes, ends the session with DELETE.

usage: whep_client.py URL [--user U --password P] [--frames N] [--seconds S]
                        [--keep] [--offer-only] [--measure S] [--no-decode]
prints: "post STATUS", then "frames N WIDTHxHEIGHT" and "delete STATUS"
when the post was answered 201."""
import argparse
import asyncio
import sys
import urllib.parse

import requests
from aiortc import RTCPeerConnection, RTCSessionDescription, rtcrtpreceiver

# The RTP bytes received (header and payload, as decrypted).
received = {"bytes": 0}
_handle_rtp = rtcrtpreceiver.RTCRtpReceiver._handle_rtp_packet


async def _count_bytes(self, packet, arrival_time_ms):
    received["bytes"] += 12 + len(packet.payload)
    return await _handle_rtp(self, packet, arrival_time_ms)


rtcrtpreceiver.RTCRtpReceiver._handle_rtp_packet = _count_bytes


class _Undecoded:
    """Takes frames without decoding them: a viewer that costs its machine
    little, for counting what the sender spends on many."""

    def decode(self, encoded_frame):
        return []


async def watch(args):
    pc = RTCPeerConnection()
    pc.addTransceiver("video", direction="recvonly")
    frames = []
    enough = asyncio.Event()

    @pc.on("track")
    def on_track(track):
        async def take():
            while True:
                try:
                    frame = await track.recv()
                except Exception:
                    return
                frames.append((frame.width, frame.height))
                if len(frames) >= args.frames:
                    enough.set()

        asyncio.ensure_future(take())

    await pc.setLocalDescription(await pc.createOffer())  # gathers its candidates
    if args.offer_only:
        print(pc.localDescription.sdp, end="")
        await pc.close()
        return
    auth = (args.user, args.password) if args.user else None
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
    parser.add_argument("--offer-only", action="store_true",
                        help="print an offer and leave: its candidates lead nowhere")
    args = parser.parse_args()
    if args.no_decode:
        rtcrtpreceiver.get_decoder = lambda codec: _Undecoded()
    asyncio.run(watch(args))


if __name__ == "__main__":
    sys.exit(main())
