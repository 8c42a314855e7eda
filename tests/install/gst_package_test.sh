#!/usr/bin/env bash
# The GStreamer plugin package in the Debian root of scripts/package-test.sh
# (where codec-g729a and g729a-tools are installed): it holds the plugin alone,
# apt installs it, gst-inspect-1.0 finds both elements, and the RTP round trip
# through gst-launch-1.0 gives exactly the samples of the installed tool's.
# Usage: gst_package_test.sh ROOT PACKAGES_DIR VERSION DEB_VERSION
set -euo pipefail
root=$1 packages=$2 deb_version=$4
arch=$(dpkg --print-architecture)
fail() { echo "FAIL: $*" >&2; exit 1; }
plugin_deb=$packages/gstreamer1.0-g729a_${deb_version}_${arch}.deb
library_deb=$packages/libg729a1_${deb_version}_${arch}.deb
[ -f "$plugin_deb" ] && [ -f "$library_deb" ] || fail "plugin or library package missing"
[ "$(dpkg-deb -c "$plugin_deb" | awk '$1 !~ /^d/ {print $6}' | grep -v '^./usr/share/doc/')" = \
  "./usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/gstreamer-1.0/libgstg729a.so" ] ||
  fail "gstreamer1.0-g729a holds:"$'\n'"$(dpkg-deb -c "$plugin_deb")"

cp "$plugin_deb" "$library_deb" "$root/tmp/packages/"
cp data/speech/librivox_austen_8k.raw "$root/srv/speech.raw"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }
in_root apt-get install -y -q --no-install-recommends gstreamer1.0-tools \
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good \
  "/tmp/packages/$(basename "$library_deb")" "/tmp/packages/$(basename "$plugin_deb")"

as_user() { chroot --userspec=nobody:nogroup "$root" env -i PATH=/usr/bin:/bin HOME=/tmp "$@"; }
out=$(as_user gst-inspect-1.0 g729a) || fail "gst-inspect-1.0 g729a failed"
grep -q "^  g729aenc: " <<<"$out" && grep -q "^  g729adec: " <<<"$out" ||
  fail "gst-inspect-1.0 g729a: $out"
as_user g729a roundtrip --quiet /srv/speech.raw /tmp/tool.raw
as_user gst-launch-1.0 -q filesrc location=/srv/speech.raw ! \
  rawaudioparse format=pcm pcm-format=s16le sample-rate=8000 num-channels=1 ! g729aenc ! \
  rtpg729pay ! rtpg729depay ! g729adec ! filesink location=/tmp/gst.raw
[ -s "$root/tmp/gst.raw" ] || fail "the pipeline wrote nothing"
cmp "$root/tmp/tool.raw" "$root/tmp/gst.raw" || fail "the pipeline's samples differ from the tool's"
echo "gst_package_test: installed plugin equals the installed tool"
