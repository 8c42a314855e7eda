#!/usr/bin/env bash
# The library installed from the build tree into a scratch prefix, and the
# consumer programs built against that prefix (library_consumers.sh).
# Usage: library_install_test.sh BUILD_DIR SPEECH.raw
set -euo pipefail
build=$(cd "$1" && pwd)
work=$build/library-install-test
rm -rf "$work"
cmake --install "$build" --prefix "$work/usr" >/dev/null
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The shared library names itself libg729a.so.1 and exports the header's
# functions alone, under the version node LIBG729A_1.
lib=$(find "$work/usr" -name libg729a.so.1)
[ -n "$lib" ] || fail "libg729a.so.1 not installed"
soname=$(objdump -p "$lib" | awk '$1 == "SONAME" {print $2}')
[ "$soname" = libg729a.so.1 ] || fail "soname: $soname"
header=$(grep -o 'g729a_[a-z_]*(' "$work/usr/include/g729a/g729a.h" | tr -d '(' | LC_ALL=C sort -u)
exported=$(nm -D --defined-only "$lib" | awk '$2 == "T" {print $3}' | LC_ALL=C sort)
[ "$exported" = "$(sed 's/$/@@LIBG729A_1/' <<<"$header")" ] ||
  fail "exported functions:"$'\n'"$exported"
[ -z "$(nm -D --defined-only "$lib" | awk '$2 != "T" && $2 != "A"')" ] ||
  fail "exported data: $(nm -D --defined-only "$lib")"

unset G729A_MODULE
bash "$(dirname "$0")/library_consumers.sh" "$work/consumers" "$2" "$work/usr/bin/g729a" "$work/usr"
rm -rf "$work"
