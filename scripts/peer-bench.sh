#!/usr/bin/env bash
# Our codec beside Opus (SILK, narrowband, 8 kbit/s), Speex (narrowband,
# 8 kbit/s) and GSM full rate on this machine: one table of time (median of
# five repetitions of bench/peer_bench.cpp) and instructions (callgrind over
# bench/peer_profile.cpp), all per 10 ms of audio. Compare the rows with each
# other, not with another machine's. Needs libopus-dev, libspeex-dev and
# libgsm1-dev (scripts/install-deps.sh), and valgrind for the instructions.
# Usage: scripts/peer-bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/release
[ -f "$build/CMakeCache.txt" ] || cmake --preset release >/dev/null
targets=$(cmake --build --preset release --target help)
if ! grep -q g729a_peer_bench <<<"$targets"; then
  echo "peer-bench: the peer codec libraries were not found when $build was configured" >&2
  echo "  (scripts/install-deps.sh installs them; then cmake --preset release)" >&2
  exit 1
fi
cmake --build --preset release --target g729a_peer_bench g729a_peer_profile >/dev/null

# Our row runs on the vector path the processor and build offer, as in the
# other benchmarks, whatever this shell asks for.
unset G729A_SIMD
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

echo "timed benchmark (about half a minute)..." >&2
"$build/g729a_peer_bench" --benchmark_out="$tmp/bench.json" --benchmark_out_format=json \
  >"$tmp/bench.txt" 2>&1 || { cat "$tmp/bench.txt" >&2; exit 1; }

"$build/g729a_peer_profile" >"$tmp/profile.txt"
if command -v valgrind >/dev/null && command -v callgrind_annotate >/dev/null; then
  echo "instruction counts under callgrind..." >&2
  valgrind --tool=callgrind --callgrind-out-file="$tmp/callgrind.out" \
    "$build/g729a_peer_profile" >/dev/null 2>"$tmp/valgrind.txt"
  callgrind_annotate --inclusive=yes --threshold=100 "$tmp/callgrind.out" >"$tmp/annotate.txt"
else
  echo "peer-bench: valgrind not found, no instruction counts" >&2
  : >"$tmp/annotate.txt"
fi

python3 - "$tmp" <<'EOF'
import json, re, sys

tmp = sys.argv[1]
units, settings, order = {}, {}, []
for line in open(f"{tmp}/profile.txt"):
    m = re.match(r"(\w+): units_10ms (\d+), (.*)", line.strip())
    if m:
        order.append(m[1])
        units[m[1]] = int(m[2])
        settings[m[1]] = m[3]

# Median of the repetitions, per benchmark.
micros = {}
with open(f"{tmp}/bench.json") as f:
    report = json.load(f)
for b in report["benchmarks"]:
    m = re.match(r"BM_Peer/(Encode|Decode)/(\w+)", b.get("run_name", ""))
    if m and b.get("aggregate_name") == "median":
        micros[(m[2], m[1])] = b["us_per_10ms"]

# Inclusive instructions of peer::encode_sample<peer::X> and decode_sample.
names = {"G729a": "g729a", "OpusSilkNb8": "opus_silk_nb8", "SpeexNb8": "speex_nb8",
         "Gsm610": "gsm610"}
instr = {}
for line in open(f"{tmp}/annotate.txt"):
    m = re.match(r"\s*([\d,]+) .*peer::(encode|decode)_sample<peer::(\w+)>", line)
    if m and m[3] in names:
        codec = names[m[3]]
        instr.setdefault((codec, m[2].capitalize()), int(m[1].replace(",", "")) / units[codec])

def cell(table, key, scale, digits):
    return f"{table[key] / scale:.{digits}f}" if key in table else "n/a"

print("per 10 ms of audio      | encode us | decode us | encode k instr | decode k instr")
print("------------------------|-----------|-----------|----------------|---------------")
for c in order:
    print(f"{c:<23} | {cell(micros, (c, 'Encode'), 1, 2):>9} | {cell(micros, (c, 'Decode'), 1, 2):>9}"
          f" | {cell(instr, (c, 'Encode'), 1000, 1):>14} | {cell(instr, (c, 'Decode'), 1000, 1):>14}")
print()
print("time: median of 5 repetitions (CPU time); instructions: callgrind, inclusive")
ctx = report.get("context", {})
load = ", ".join(f"{x:.2f}" for x in ctx.get("load_avg", []))
print(f"machine: {ctx.get('num_cpus', '?')} cpus at {ctx.get('mhz_per_cpu', '?')} MHz, "
      f"load average {load} at the start; {ctx.get('opus', '')}")
for c in order:
    print(f"  {c}: {settings[c]}")
EOF
