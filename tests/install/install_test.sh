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
# The C library's folder (lib/x86_64-linux-gnu on Debian) reads LIBDIR here.
libdir=$(sed -n 's/^G729A_LIBRARY_DIR:STRING=//p' "$build/CMakeCache.txt")
expected="LIBDIR/cmake/g729a/g729aConfig.cmake
LIBDIR/cmake/g729a/g729aConfigVersion.cmake
LIBDIR/cmake/g729a/g729aTargets-BUILD_TYPE.cmake
LIBDIR/cmake/g729a/g729aTargets.cmake
LIBDIR/libg729a.a
LIBDIR/libg729a.so
LIBDIR/libg729a.so.1
LIBDIR/libg729a.so.$version
LIBDIR/pkgconfig/g729a.pc
bin/g729a
include/g729a/g729a.h
lib/corvane/modules/codec_g729a.so
lib/g729a/libcorvane_standin.so
share/doc/codec-g729a/README.md
share/doc/codec-g729a/changelog.Debian.gz
share/doc/codec-g729a/copyright
share/doc/g729a-tools/NOTICE
share/doc/g729a-tools/README.md
share/doc/g729a-tools/changelog.Debian.gz
share/doc/g729a-tools/copyright
share/doc/libg729a-dev/c-api.md
share/doc/libg729a-dev/changelog.Debian.gz
share/doc/libg729a-dev/copyright
share/doc/libg729a1/changelog.Debian.gz
share/doc/libg729a1/copyright
share/lintian/overrides/libg729a1
share/man/man1/g729a.1.gz
share/man/man3/g729a.3.gz"
# The GStreamer plugin, when the build has it, in GStreamer's folder.
plugin_dir=$(sed -n 's/^G729A_GST_PLUGIN_DIR:STRING=//p' "$build/CMakeCache.txt")
if [ -n "$plugin_dir" ]; then
  plugin=$(sed "s|^$libdir/|LIBDIR/|" <<<"$plugin_dir/libgstg729a.so")
  expected=$(printf '%s\n%s\n%s\n%s\n' "$expected" "$plugin" \
    share/doc/gstreamer1.0-g729a/changelog.Debian.gz share/doc/gstreamer1.0-g729a/copyright |
    LC_ALL=C sort)
fi
actual=$(cd "$work/usr" && find . -type f -o -type l | sed 's|^\./||' |
  sed -e "s|^$libdir/|LIBDIR/|" -e 's|g729aTargets-[a-z]*\.cmake$|g729aTargets-BUILD_TYPE.cmake|' |
  LC_ALL=C sort)
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
