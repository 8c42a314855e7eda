#!/usr/bin/env python3
"""Compares the samples of two audio files (WAV, or raw 16-bit mono at
8 kHz): equal length and equal samples, or the first difference.
--make-wav RAW N OUT writes the first N samples of RAW as a WAV file."""
import sys
import wave


def samples(path):
    if path.endswith(".wav"):
        with wave.open(path) as w:
            if (w.getnchannels(), w.getsampwidth(), w.getframerate()) != (1, 2, 8000):
                sys.exit(f"{path}: not 16-bit mono at 8000 Hz")
            return w.readframes(w.getnframes())
    with open(path, "rb") as f:
        return f.read()


def main(args):
    if args[0] == "--make-wav":
        raw, count, out = args[1], int(args[2]), args[3]
        with open(raw, "rb") as f:
            data = f.read(2 * count)
        with wave.open(out, "wb") as w:
            w.setnchannels(1)
            w.setsampwidth(2)
            w.setframerate(8000)
            w.writeframes(data)
        return 0
    a, b = samples(args[0]), samples(args[1])
    if a == b and a:
        print(f"{args[0]} and {args[1]}: {len(a) // 2} equal samples")
        return 0
    first = next((i for i in range(0, min(len(a), len(b)), 2) if a[i:i + 2] != b[i:i + 2]), None)
    where = "" if first is None else f", first difference at sample {first // 2}"
    print(f"{args[0]}: {len(a) // 2} samples, {args[1]}: {len(b) // 2} samples{where}",
          file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
