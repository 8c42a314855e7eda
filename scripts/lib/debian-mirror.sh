# Sourced: debian_mirror [APT_DIR] prints the Debian archive apt uses here
# (deb822 *.sources files or one-line sources.list entries, in apt's order;
# the security archive, CD-ROMs and local folders are no base for a root),
# else the main archive. APT_DIR defaults to /etc/apt.
debian_mirror() {
  local apt=${1:-/etc/apt} f uri
  for f in "$apt"/sources.list "$apt"/sources.list.d/*.list "$apt"/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    for uri in $(sed -n -e 's/^URIs:[[:space:]]*//p' \
      -e 's/^deb[[:space:]]\+\(\[[^]]*\][[:space:]]\+\)\?\([^[:space:]]\+\).*/\2/p' "$f"); do
      case $uri in *security* | cdrom:* | file:*) ;; *) echo "$uri" && return ;; esac
    done
  done
  echo http://deb.debian.org/debian
}
