#!/usr/bin/env bash
# Builds the Debian packages, checks what they contain, installs them into a
# fresh Debian 12 root (debootstrap minbase) and runs the installed tool
# there against the installed module: the version lines and the conformance
# check of the published test sequences. Every package in the packages folder
# must pass lintian without an error. Run as root (debootstrap, chroot).
#
#   scripts/package-test.sh            # build/release, packages in build/release/packages
#
# The bare root is made once (build/package-root/base.tar.gz, a few minutes
# of downloads) and unpacked afresh for every run.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/on-error.sh"
source "$(dirname "${BASH_SOURCE[0]}")/lib/debian-mirror.sh"
cd "$(dirname "$0")/.."
root_dir=$PWD/build/package-root
packages=$PWD/build/release/packages
vectors=$PWD/tests/data/testvectors
version_line="Orvanta G.729A Module Version 1.4_3.1.4 (optimized for barcelona_32)"

step() { echo "=== $* ==="; }
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

step "packages needed here"
scripts/install-deps.sh --cross

step "building the packages"
cmake --preset release >/dev/null
cmake --build --preset release
rm -rf "$packages" build/release/_CPack_Packages
# As the README says: cpack in the build folder, which keeps all it writes there.
(cd build/release && cpack >/dev/null)
strays=$(find . -path ./build -prune -o \( -name '*.deb' -o -name _CPack_Packages \) -print)
[ -z "$strays" ] || fail "cpack wrote into the source tree: $strays"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/release/CMakeCache.txt)
release=$(sed -n 's/^G729A_PACKAGE_RELEASE:STRING=//p' build/release/CMakeCache.txt)
deb_version=$version-$release
arch=$(dpkg --print-architecture)
module_deb=$packages/codec-g729a_${deb_version}_${arch}.deb
tools_deb=$packages/g729a-tools_${deb_version}_${arch}.deb
[ -f "$module_deb" ] && [ -f "$tools_deb" ] || fail "packages missing: $(ls "$packages")"

step "lintian"
lintian --fail-on error --display-info "$packages"/*.deb || fail "lintian reports errors (above)"

step "package contents"
contents() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ {print $6}' | LC_ALL=C sort; }
expected_module="./usr/lib/corvane/modules/codec_g729a.so
./usr/share/doc/codec-g729a/README.md
./usr/share/doc/codec-g729a/changelog.Debian.gz
./usr/share/doc/codec-g729a/copyright"
expected_tools="./usr/bin/g729a
./usr/lib/g729a/libcorvane_standin.so
./usr/share/doc/g729a-tools/NOTICE
./usr/share/doc/g729a-tools/README.md
./usr/share/doc/g729a-tools/changelog.Debian.gz
./usr/share/doc/g729a-tools/copyright
./usr/share/man/man1/g729a.1.gz"
[ "$(contents "$module_deb")" = "$expected_module" ] ||
  fail "codec-g729a holds:"$'\n'"$(contents "$module_deb")"
[ "$(contents "$tools_deb")" = "$expected_tools" ] ||
  fail "g729a-tools holds:"$'\n'"$(contents "$tools_deb")"
for deb in "$module_deb" "$tools_deb"; do
  dpkg-deb -f "$deb" Package Version Depends
  contents "$deb"
done
dpkg-deb -f "$tools_deb" Depends | grep -q "codec-g729a (= $deb_version)" ||
  fail "g729a-tools does not depend on codec-g729a $deb_version"

step "a fresh Debian 12 root"
mkdir -p "$root_dir"
if [ ! -f "$root_dir/base.tar.gz" ]; then
  mirror=$(debian_mirror)
  echo "mirror: $mirror"
  rm -rf "$root_dir/base"
  debootstrap --variant=minbase bookworm "$root_dir/base" "$mirror"
  tar -C "$root_dir/base" -czf "$root_dir/base.tar.gz.part" .
  mv "$root_dir/base.tar.gz.part" "$root_dir/base.tar.gz"
  rm -rf "$root_dir/base"
fi
root=$root_dir/root
rm -rf "$root"
mkdir -p "$root"
tar -C "$root" -xzf "$root_dir/base.tar.gz"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mkdir -p "$root/tmp/packages" "$root/srv"
cp "$module_deb" "$tools_deb" "$root/tmp/packages/"
[ -d "$vectors" ] || fail "$vectors not found"
cp -r "$vectors" "$root/srv/testvectors"

# The dynamic loader resolves $ORIGIN, and the tool finds itself, through /proc.
mount -t proc proc "$root/proc"
trap 'umount "$root/proc" 2>/dev/null || true' EXIT

step "installing the packages there (apt pulls in what they depend on)"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }
in_root apt-get update -q
in_root apt-get install -y -q --no-install-recommends \
  "/tmp/packages/$(basename "$module_deb")" "/tmp/packages/$(basename "$tools_deb")"
in_root dpkg -L codec-g729a g729a-tools | grep -E '\.so$|bin/'

step "the installed tool, as an unprivileged user"
as_user() { chroot --userspec=nobody:nogroup "$root" env -i PATH=/usr/bin:/bin HOME=/tmp "$@"; }
out=$(as_user g729a --version)
echo "$out"
[ "$out" = "g729a tool $version"$'\n'"module: $version_line" ] || fail "g729a --version printed: $out"
out=$(as_user g729a console g729 show version)
[ "$out" = "$version_line" ] || fail "console printed: $out"
as_user g729a conformance /srv/testvectors
tests/install/library_package_test.sh "$root" "$packages" "$version" "$deb_version"
tests/install/gst_package_test.sh "$root" "$packages" "$version" "$deb_version"

umount "$root/proc"
rm -rf "$root"
step "package test passed"
