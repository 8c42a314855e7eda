#!/usr/bin/env bash
# The installed tree: exactly the intended files, and a tool that finds its
# stand-in library and the module relative to itself (installed, or the whole
# tree copied elsewhere), tries a module beside itself first, and lets
# --module and G729A_MODULE choose another.
# Usage: install_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2
work=$build/install-test
rm -rf "$work"
mkdir -p "$work"
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

cmake --install "$build" --prefix "$work/usr" >/dev/null
expected="bin/g729a
lib/corvane/modules/codec_g729a.so
lib/g729a/libcorvane_standin.so
share/doc/codec-g729a/README.md
share/doc/g729a-tools/NOTICE
share/doc/g729a-tools/README.md
share/man/man1/g729a.1"
actual=$(cd "$work/usr" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
[ "$actual" = "$expected" ] || fail "installed files differ:"$'\n'"$actual"

module_line="Orvanta G.729A Module Version 1.4_3.1.4 (optimized for barcelona_32)"
versions="g729a tool $version"$'\n'"module: $module_line"

# From another folder, without the build tree's module in reach.
unset G729A_MODULE
out=$(cd "$work" && usr/bin/g729a --version) || fail "installed tool: --version failed"
[ "$out" = "$versions" ] || fail "installed tool printed: $out"

# The whole tree moved elsewhere still works: nothing points back at the prefix.
mv "$work/usr" "$work/moved"
out=$(cd / && "$work/moved/bin/g729a" console g729 show version) || fail "moved tree failed"
[ "$out" = "$module_line" ] || fail "moved tree printed: $out"

# A module beside the tool is tried before the installed one.
printf 'not a module' >"$work/moved/bin/codec_g729a.so"
if err=$("$work/moved/bin/g729a" --version 2>&1); then fail "a broken module beside the tool was not tried"; fi
case $err in *"$work/moved/bin/codec_g729a.so"*) ;; *) fail "unexpected error: $err" ;; esac

# --module and G729A_MODULE choose another module.
installed=$work/moved/lib/corvane/modules/codec_g729a.so
out=$("$work/moved/bin/g729a" console --module "$installed" g729 show version) || fail "--module"
[ "$out" = "$module_line" ] || fail "--module printed: $out"
out=$(G729A_MODULE=$installed "$work/moved/bin/g729a" --version) || fail "G729A_MODULE"
[ "$out" = "$versions" ] || fail "G729A_MODULE printed: $out"

# Without any module in reach the tool says where it looked first.
rm "$work/moved/bin/codec_g729a.so" "$installed"
if err=$("$work/moved/bin/g729a" --version 2>&1); then fail "ran without a module"; fi
case $err in *"cannot load the codec module"*) ;; *) fail "unexpected error: $err" ;; esac
rm -rf "$work"
echo "install tree: ok"
