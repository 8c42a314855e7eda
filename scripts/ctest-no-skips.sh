#!/usr/bin/env bash
# Runs ctest with the given arguments (e.g. --preset release) and fails when
# any test was skipped or did not run, not only when one failed: a check
# that cannot run must not count as passed.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/on-error.sh"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
ctest "$@" 2>&1 | tee "$log" || status=${PIPESTATUS[0]}
if grep -qE '\*\*\*Skipped|\*\*\*Not Run|The following tests did not run' "$log"; then
  echo "ctest-no-skips: tests were skipped or did not run:" >&2
  grep -E '\*\*\*Skipped|\*\*\*Not Run' "$log" >&2
  exit 1
fi
if ! grep -qE '^[0-9]+% tests passed' "$log"; then
  echo "ctest-no-skips: ctest ran no tests" >&2
  exit 1
fi
if ((status != 0)); then
  echo "ctest-no-skips: ctest $* failed (exit status $status)" >&2
fi
exit "$status"
