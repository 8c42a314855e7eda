#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a short while on
# its committed seed corpus and regression inputs; fails on any finding.
#   scripts/fuzz-smoke.sh [SECONDS_PER_TARGET] [TARGET...]    (default 30, all)
# New inputs the fuzzer finds go to build/fuzz/corpus/<target> (not committed);
# a crash, leak or timeout leaves its input in build/fuzz/findings/<target>.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/on-error.sh"
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
targets=("$@")
if ((${#targets[@]} == 0)); then
  targets=(fuzz_decoder fuzz_decoder_runaway fuzz_encoder fuzz_encoder_dtx fuzz_module fuzz_differential
    fuzz_serial fuzz_capture)
fi
build=build/fuzz

echo "=== fuzz build (clang, ASan + UBSan + libFuzzer) ==="
cmake -S . -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DG729A_BUILD_FUZZ=ON -DG729A_WERROR=ON >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}"

# Longest input worth trying per target: enough for the per-input caps.
max_len() {
  case $1 in
    fuzz_decoder) echo 140 ;;
    fuzz_decoder_runaway) echo 100 ;;
    fuzz_encoder) echo 480 ;;
    fuzz_encoder_dtx) echo 1280 ;;
    fuzz_module) echo 120 ;;
    fuzz_differential) echo 500 ;;
    *) echo 8192 ;;
  esac
}

failed=0
summary=()
for t in "${targets[@]}"; do
  corpus=$build/corpus/$t
  findings=$build/findings/$t
  mkdir -p "$corpus" "$findings"
  seeds=(fuzz/corpus/$t)
  [ -d "fuzz/regressions/$t" ] && seeds+=("fuzz/regressions/$t")
  echo "=== $t: regression inputs ==="
  if [ -d "fuzz/regressions/$t" ]; then
    "$build/$t" -runs=0 fuzz/regressions/$t/* >"$findings/regressions.log" 2>&1 || {
      tail -30 "$findings/regressions.log"
      failed=1
      continue
    }
  fi
  echo "=== $t: ${seconds}s ==="
  log=$findings/run.log
  if ! "$build/$t" "$corpus" "${seeds[@]}" -max_total_time="$seconds" -max_len="$(max_len "$t")" \
      -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/" \
      >"$log" 2>&1; then
    tail -40 "$log"
    failed=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -1) || cov=""
  summary+=("$(printf '%-22s %10s runs %7s exec/s  %s' "$t" "${runs:-?}" "${speed:-?}" "${cov:-?}")")
done
echo "=== fuzz summary (${seconds}s per target) ==="
printf '%s\n' "${summary[@]}"
((failed == 0)) || echo "fuzz-smoke: a target failed (its output is above)" >&2
exit "$failed"
