#!/usr/bin/python3
"""A WHEP client as a viewer's program runs it (aiortc): POSTs an offer for
H.264 video, plays what comes, ends the session with DELETE.

usage: whep_client.py URL [--user U --password P] [--frames N] [--seconds S]
                        [--keep] [--offer-only] [--measure S]
prints: "post STATUS", then "frames N WIDTHxHEIGHT" and "delete STATUS"
when the post was answered 201."""
import argparse
import asyncio
import statistics
import sys
import time
import urllib.parse

import requests
from aiortc import RTCPeerConnection, RTCSessionDescription, rtcrtpreceiver
from aiortc.rtp import RtcpSrPacket

# The sender's reports tie RTP timestamps to its wall clock: the newest.
reports = {}
_handle_rtcp = rtcrtpreceiver.RTCRtpReceiver._handle_rtcp_packet


async def _note_report(self, packet):
    if isinstance(packet, RtcpSrPacket):
        ntp = packet.sender_info.ntp_timestamp
        reports["wall"] = (ntp >> 32) - 2208988800 + (ntp & 0xFFFFFFFF) / 2**32
        reports["rtp"] = packet.sender_info.rtp_timestamp
    return await _handle_rtcp(self, packet)


rtcrtpreceiver.RTCRtpReceiver._handle_rtcp_packet = _note_report


def latency_ms(frame):
    """How long ago the frame entered the sender's encoder, by its reports."""
    if not reports:
        return None
    ticks = (frame.pts - reports["rtp"]) % 2**32
    if ticks >= 2**31:
        ticks -= 2**32
    return (time.time() - (reports["wall"] + ticks / 90000)) * 1000


async def watch(args):
    pc = RTCPeerConnection()
    pc.addTransceiver("video", direction="recvonly")
    frames = []
    latencies = []
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
                late = latency_ms(frame)
                if late is not None:
                    latencies.append(late)
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
        received = await inbound_bytes(pc)
        latencies.clear()
        await asyncio.sleep(args.measure)
        kbps = (await inbound_bytes(pc) - received) * 8 / args.measure / 1000
        print("kbps %.0f" % kbps, flush=True)
        if latencies:
            print("latency_ms_p50 %.1f" % statistics.median(latencies), flush=True)
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


async def inbound_bytes(pc):
    stats = await pc.getStats()
    return sum(s.bytesReceived for s in stats.values() if s.type == "inbound-rtp")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("url")
    parser.add_argument("--user")
    parser.add_argument("--password")
    parser.add_argument("--frames", type=int, default=30)
    parser.add_argument("--seconds", type=float, default=15)
    parser.add_argument("--keep", action="store_true", help="leave without DELETE")
    parser.add_argument("--measure", type=float, default=0,
                        help="print the kbps received and the median latency over this long")
    parser.add_argument("--offer-only", action="store_true",
                        help="print an offer and leave: its candidates lead nowhere")
    asyncio.run(watch(parser.parse_args()))


if __name__ == "__main__":
    sys.exit(main())
