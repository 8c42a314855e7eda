#!/usr/bin/env bash
# The library's packages in the fresh root of scripts/package-test.sh (its
# packages installed there, /proc mounted, the test sequences in
# /srv/testvectors): their contents, then libg729a-dev installed with a C
# toolchain, pkg-config and CMake from the archive, and the consumer programs
# built and run there as an unprivileged user (library_consumers.sh).
# Usage: library_package_test.sh ROOT PACKAGE_DIR VERSION DEB_VERSION
set -euo pipefail
root=$1
packages=$2
version=$3
deb_version=$4
here=$(cd "$(dirname "$0")" && pwd)
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }
as_user() { chroot --userspec=nobody:nogroup "$root" env -i PATH=/usr/bin:/bin HOME=/tmp "$@"; }

arch=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)
lib_deb=$packages/libg729a1_${deb_version}_${arch}.deb
dev_deb=$packages/libg729a-dev_${deb_version}_${arch}.deb
[ -f "$lib_deb" ] && [ -f "$dev_deb" ] || fail "library packages missing: $(ls "$packages")"

echo "=== library package contents ==="
contents() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ {print $6}' | LC_ALL=C sort; }
dir=./usr/lib/$multiarch
expected_lib="$dir/libg729a.so.1
$dir/libg729a.so.$version
./usr/share/lintian/overrides/libg729a1"
expected_dev="./usr/include/g729a/g729a.h
$dir/cmake/g729a/g729aConfig.cmake
$dir/cmake/g729a/g729aConfigVersion.cmake
$dir/cmake/g729a/g729aTargets-release.cmake
$dir/cmake/g729a/g729aTargets.cmake
$dir/libg729a.a
$dir/libg729a.so
$dir/pkgconfig/g729a.pc
./usr/share/doc/libg729a-dev/c-api.md
./usr/share/man/man3/g729a.3.gz"
# Files the packaging adds to every package (copyright, changelog) are not
# this test's concern.
filter() { grep -v -E '/usr/share/doc/[^/]+/(copyright|changelog(\.Debian)?\.gz)$' || true; }
[ "$(contents "$lib_deb" | filter)" = "$expected_lib" ] ||
  fail "libg729a1 holds:"$'\n'"$(contents "$lib_deb")"
[ "$(contents "$dev_deb" | filter)" = "$expected_dev" ] ||
  fail "libg729a-dev holds:"$'\n'"$(contents "$dev_deb")"
control() { dpkg-deb --ctrl-tarfile "$lib_deb" | tar -xO "./$1"; }
[ "$(control shlibs)" = "libg729a 1 libg729a1 (>= $version)" ] || fail "libg729a1 shlibs: $(control shlibs)"
[ "$(control triggers)" = "activate-noawait ldconfig" ] || fail "libg729a1: no ldconfig trigger"
depends=$(dpkg-deb -f "$dev_deb" Depends)
case $depends in *"libg729a1 (= $deb_version)"*) ;; *) fail "libg729a-dev depends on: $depends" ;; esac

echo "=== libg729a-dev with a toolchain in the root ==="
cp "$lib_deb" "$dev_deb" "$root/tmp/"
in_root apt-get install -y -q --no-install-recommends gcc libc6-dev make cmake pkg-config \
  "/tmp/${lib_deb##*/}" "/tmp/${dev_deb##*/}"
cache=$(in_root ldconfig -p)
grep -q "libg729a.so.1 " <<<"$cache" || fail "libg729a.so.1 not in the loader's cache"
rm -rf "$root/srv/library-consumers"
mkdir -p "$root/srv/library-consumers"
cp -r "$here/consumer" "$here/library_consumers.sh" "$root/srv/library-consumers/"
chmod -R a+rX "$root/srv/library-consumers"

echo "=== programs built against the installed library, as an unprivileged user ==="
as_user bash /srv/library-consumers/library_consumers.sh /tmp/library-consumers \
  /srv/testvectors/g729a/SPEECH.IN g729a
