#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora (fuzz/corpus/<target>/) from the
project's conformance data and speech sample. The files are committed; run
this again only to rebuild them: fuzz/make_corpus.py

Seeds: valid speech frames (the golden bitstreams), SID frames (from the
Annex B sequences), runs of lost frames, audio (the test sequences' inputs), serial bitstreams,
captures (RTP in UDP in IPv4/IPv6 in Ethernet, classic pcap and pcapng, as
the tool tests build them) and host frames for the module boundary.
"""
import os
import struct

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DATA = os.path.join(ROOT, "tests", "data")
OUT = os.path.join(ROOT, "fuzz", "corpus")


def read(*path):
    with open(os.path.join(*path), "rb") as f:
        return f.read()


def write(target, name, data):
    d = os.path.join(OUT, target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


def serial_frames(data):
    """(kind, bytes) per frame of an ITU serial bitstream."""
    words = struct.unpack("<%dH" % (len(data) // 2), data[: len(data) // 2 * 2])
    i, out = 0, []
    while i + 2 <= len(words):
        sync, n = words[i], words[i + 1]
        bits = words[i + 2 : i + 2 + n]
        i += 2 + n
        if sync != 0x6B21 or any(b not in (0x7F, 0x81) for b in bits):
            continue
        value = 0
        for b in bits:
            value = value << 1 | (b == 0x81)
        nbytes = (n + 7) // 8
        value <<= nbytes * 8 - n
        frame = value.to_bytes(nbytes, "big")
        if n == 80:
            out.append(("speech", frame))
        elif n in (15, 16):
            out.append(("sid", frame))
    return out


def speech_frames(name):
    g = read(DATA, "golden", name + ".g729")
    return [g[i : i + 10] for i in range(0, len(g) - 9, 10)]


def sid_frames():
    out = []
    for name in ("tstseq1a", "tstseq2a", "tstseq3a", "tstseq4a", "tstseq6"):
        out += [f for k, f in serial_frames(read(DATA, "testvectors", "g729b", name + ".bit")) if k == "sid"]
    return out


def decoder_records(frames):
    """fuzz_decoder records: selector 0 for speech, 5 for SID."""
    return b"".join((b"\x00" if len(f) == 10 else b"\x05") + f for f in frames)


def udp(datagram, v6):
    if v6:
        ip = struct.pack(">IHBB16s16s", 0x60000000, 8 + len(datagram), 17, 64, b"\x20\x01" + b"\x00" * 13 + b"\x01",
                         b"\x20\x01" + b"\x00" * 13 + b"\x02")
        eth_type = 0x86DD
    else:
        ip = struct.pack(">BBHHHBBH4s4s", 0x45, 0, 20 + 8 + len(datagram), 1, 0, 64, 17, 0, bytes([10, 0, 0, 1]),
                         bytes([10, 0, 0, 2]))
        eth_type = 0x0800
    udp_header = struct.pack(">HHHH", 5000, 4000, 8 + len(datagram), 0)
    return b"\x02" * 6 + b"\x04" * 6 + struct.pack(">H", eth_type) + ip + udp_header + datagram


def rtp(seq, ts, payload, pt=18):
    return struct.pack(">BBHII", 0x80, pt, seq, ts, 0x11223344) + payload


def pcap(frames):
    out = struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 1)
    for i, f in enumerate(frames):
        out += struct.pack("<IIII", i // 50, (i % 50) * 20000, len(f), len(f)) + f
    return out


def pcapng(frames):
    def block(kind, body):
        body += b"\x00" * (-len(body) % 4)
        return struct.pack("<II", kind, len(body) + 12) + body + struct.pack("<I", len(body) + 12)

    out = block(0x0A0D0D0A, struct.pack("<IHHq", 0x1A2B3C4D, 1, 0, -1))
    out += block(1, struct.pack("<HHI", 1, 0, 65535))
    for i, f in enumerate(frames):
        t = i * 20000
        out += block(6, struct.pack("<IIIII", 0, t >> 32, t & 0xFFFFFFFF, len(f), len(f)) + f)
    return out


def main():
    names = ["ALGTHM", "FIXED", "LSP", "PITCH", "SPEECH", "TAME"]
    sids = sid_frames()
    climb = bytes.fromhex("0000006000F0A5000785")
    settle = bytes.fromhex("00000F2000F005000780")

    for name in names:
        frames = speech_frames(name)
        write("fuzz_decoder", name.lower(), decoder_records(frames[:48]))
        write("fuzz_serial", name.lower(), read(DATA, "testvectors", "g729a", name + ".BIT")[: 164 * 40])
        write("fuzz_encoder", name.lower(), read(DATA, "testvectors", "g729a", name + ".IN")[16000 : 16000 + 1280])
    write("fuzz_decoder", "speech_then_sid", decoder_records(speech_frames("SPEECH")[100:120] + sids[:6]))
    write("fuzz_decoder", "sid_only", decoder_records(sids[:24]))
    write("fuzz_decoder", "climb_then_settle", decoder_records([climb] * 40 + [settle] * 20))
    write("fuzz_serial", "tstseq6", read(DATA, "testvectors", "g729b", "tstseq6.bit")[: 164 * 60])
    write("fuzz_encoder", "speech_sample", read(ROOT, "data", "speech", "librivox_austen_8k.raw")[32000:33280])
    write("fuzz_encoder", "loud_square", struct.pack("<640h", *([32767] * 20 + [-32768] * 20) * 16))

    # Runaway: exponent and frame of the scaling, then records (with repeats).
    for exponent in (0, 400, 900, 1023):
        head = struct.pack("<H", exponent | (2 << 10))
        write("fuzz_decoder_runaway", "climb_%d" % exponent, head + (b"\xc0" + climb) * 6)
    write("fuzz_decoder_runaway", "speech_scaled", struct.pack("<H", 1000 | (3 << 10)) +
          decoder_records(speech_frames("PITCH")[40:60]))
    write("fuzz_decoder_runaway", "sid_scaled", struct.pack("<H", 1010 | (1 << 10)) +
          decoder_records(speech_frames("SPEECH")[:2] + sids[:8]))

    # Differential: the first byte picks decoder (even) or encoder (odd) and
    # the vector path (scalar, SSE2, AVX2); decoder records as fuzz_decoder's,
    # with runs of erased (8) and untransmitted (9) frames.
    lost = b"\x08\x01" + b"\x09\x02"
    for path in range(3):
        for name in ("SPEECH", "PITCH", "TAME"):
            write("fuzz_differential", "%s_%d" % (name.lower(), path),
                  bytes([2 * path]) + decoder_records(speech_frames(name)[60:64]) + lost)
            write("fuzz_differential", "encode_%s_%d" % (name.lower(), path),
                  bytes([2 * path + 1]) + read(DATA, "testvectors", "g729a", name + ".IN")[16000 : 16000 + 480])
        write("fuzz_differential", "speech_sid_gap_%d" % path,
              bytes([2 * path]) + decoder_records(speech_frames("SPEECH")[100:102] + sids[:2]) + b"\x09\x03")
        write("fuzz_differential", "climb_%d" % path, bytes([2 * path]) + decoder_records([climb] * 8))

    # Module boundary: direction bit, claimed samples, count flags, then data.
    speech = speech_frames("SPEECH")[200:204]
    write("fuzz_module", "decoder_two_frames", b"\x00\x00\x00\x00" + b"".join(speech[:2]))
    write("fuzz_module", "decoder_frame_and_sid", b"\x00\x00\x00\x00" + speech[0] + sids[0])
    write("fuzz_module", "decoder_bad_tail", b"\x00\x00\x00\x00" + speech[0] + b"\x01\x02\x03")
    write("fuzz_module", "decoder_corrupt_count", b"\x00\x00\x02\x90" + speech[0])
    pcm = read(ROOT, "data", "speech", "librivox_austen_8k.raw")[40000:40320]
    write("fuzz_module", "encoder_56", b"\x01\x00\x00\x00" + pcm[:112])
    write("fuzz_module", "encoder_overstated", b"\x01\x7f\x01\x00" + pcm[:100])
    write("fuzz_module", "encoder_corrupt_count", b"\x01\x00\x02\x7f" + pcm[:112])

    # Captures: 0xC0 = libpcap reads the file, 0x80 = the tool's pcapng reader.
    payloads = [b"".join(speech_frames("SPEECH")[300 + 2 * i : 302 + 2 * i]) for i in range(6)]
    packets = [rtp(100 + i, 160 * i, p) for i, p in enumerate(payloads)]
    packets.append(rtp(106, 960, sids[1]))
    eth4 = [udp(p, False) for p in packets]
    eth6 = [udp(p, True) for p in packets]
    write("fuzz_capture", "pcap_ipv4", b"\xc0" + pcap(eth4))
    write("fuzz_capture", "pcap_ipv6", b"\xc0" + pcap(eth6))
    write("fuzz_capture", "pcapng_ipv4", b"\x80" + pcapng(eth4))
    write("fuzz_capture", "pcapng_ipv6", b"\x80" + pcapng(eth6))
    write("fuzz_capture", "frames_ethernet", b"\x01" + b"".join(struct.pack("<H", len(f)) + f for f in eth4))


if __name__ == "__main__":
    main()
