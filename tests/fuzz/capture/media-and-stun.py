"""The client's side of the media and STUN exchanges captured for the fuzz seeds.

Sends, from the RTP port, A-law RTP (the empty first packet, a marker packet, 30 ms frames)
and RTCP (our BYE, a sender report with a source description) to the callee's echo, then
classic STUN Binding Requests (plain and with CHANGE-REQUEST) to the STUN server; whatever
comes back is in the capture. Each wait is bounded.
   media-and-stun.py ECHO_HOST ECHO_PORT STUN_HOST
"""
import math
import os
import socket
import struct
import sys
import time


def alaw(sample):
    """G.711 A-law of one 16-bit sample (the ITU reference)."""
    sign = 0xD5 if sample >= 0 else 0x55
    magnitude = min(abs(sample) >> 3, 0xFFF)
    if magnitude < 32:
        code = magnitude >> 1
    else:
        exponent = magnitude.bit_length() - 5
        code = (exponent << 4) | ((magnitude >> exponent) & 0x0F)
    return code ^ sign


def rtp(seq, timestamp, payload, marker=False, ssrc=0x1234ABCD, payload_type=8):
    second = payload_type | (0x80 if marker else 0)
    return struct.pack("!BBHII", 0x80, second, seq, timestamp, ssrc) + payload


def main():
    echo_host, echo_port, stun_host = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    media = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    media.bind(("0.0.0.0", 5004))
    media.settimeout(0.2)
    tone = bytes(alaw(int(8000 * math.sin(2 * math.pi * 440 * n / 8000))) for n in range(240))
    silence = bytes([0xD5]) * 240
    packets = [rtp(0, 0, b""), rtp(1, 240, tone, marker=True)]
    packets += [rtp(seq, seq * 240, tone if seq % 2 else silence) for seq in range(2, 8)]
    packets.append(rtp(8, 8 * 240, tone[:160]))
    packets.append(rtp(9, 9 * 240, tone[:80], payload_type=0))  # a payload type we do not play
    ssrc = struct.pack("!I", 0x1234ABCD)
    bye = bytes([0x81, 203, 0, 2]) + ssrc + bytes([3]) + b"BYE"
    cname = b"1001@10.10.0.2"
    sdes_chunk = ssrc + bytes([1, len(cname)]) + cname
    sdes_chunk += bytes(4 - len(sdes_chunk) % 4)
    sdes = bytes([0x81, 202]) + struct.pack("!H", (4 + len(sdes_chunk)) // 4 - 1) + sdes_chunk
    sender_report = bytes([0x80, 200, 0, 6]) + ssrc + struct.pack("!IIIII", 0xE8000000, 0, 2160, 9, 2160)
    packets += [sender_report + sdes, bye, sender_report + sdes + bye]
    for packet in packets:
        media.sendto(packet, (echo_host, echo_port))
        time.sleep(0.03)
    deadline = time.monotonic() + 1.0
    echoed = 0
    while time.monotonic() < deadline and echoed < len(packets):
        try:
            media.recvfrom(2048)
            echoed += 1
        except socket.timeout:
            pass
    print(f"media: sent {len(packets)}, echoed {echoed}")

    stun = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    stun.bind(("0.0.0.0", 0))
    stun.settimeout(0.5)
    answered = 0
    # Plain, change port, change address, both; then a request with a padding attribute.
    for change in (None, 2, 4, 6):
        body = b"" if change is None else struct.pack("!HHI", 0x0003, 4, change)
        request = struct.pack("!HH", 0x0001, len(body)) + os.urandom(16) + body
        stun.sendto(request, (stun_host, 3478))
        try:
            stun.recvfrom(2048)
            answered += 1
        except socket.timeout:
            pass
    print(f"stun: answered {answered} of 4")


if __name__ == "__main__":
    main()
