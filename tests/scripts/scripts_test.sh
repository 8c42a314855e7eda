#!/usr/bin/env bash
# The scripts' shared pieces: a failing step names its command, script, line
# and status (once, also from a function or a command substitution), and
# the Debian mirror is found in one-line and deb822 apt sources alike.
# Usage: scripts_test.sh SOURCE_DIR
set -euo pipefail
lib=$(cd "$1" && pwd)/scripts/lib
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# in: script body after the prologue; out: "status|stderr".
run_failing() {
  printf '#!/usr/bin/env bash\nset -euo pipefail\nsource %s/on-error.sh\n%s\n' "$lib" "$1" \
    >"$work/step.sh"
  local status=0 err
  err=$(bash "$work/step.sh" 2>&1 >/dev/null) || status=$?
  echo "$status|$err"
}
expect() {  # in: what ran, actual, expected
  [ "$2" = "$3" ] || fail "$1:"$'\n'"got:      $2"$'\n'"expected: $3"
}
expect "a failing command" "$(run_failing $'true\n(exit 3)\necho never')" \
  "3|step.sh: line 5: failed (exit status 3): ( exit 3 )"
expect "inside a function" "$(run_failing $'f() {\n  ls /nonexistent/x 2>/dev/null\n}\nf')" \
  "2|step.sh: line 5: failed (exit status 2): ls /nonexistent/x 2> /dev/null"
expect "a command substitution, named once" \
  "$(run_failing 'x=$(sed -n p /nonexistent/y 2>/dev/null | head -n 1)')" \
  "2|step.sh: line 4: failed (exit status 2): x=\$(sed -n p /nonexistent/y 2> /dev/null | head -n 1)"
expect "conditions and || are not failures" \
  "$(run_failing $'if false; then :; fi\nfalse || true\n! true\nexit 0')" "0|"

source "$lib/debian-mirror.sh"
apt=$work/apt
mkdir -p "$apt/sources.list.d"
expect "no sources" "$(debian_mirror "$apt")" "http://deb.debian.org/debian"
printf '%s\n' '# a comment' 'deb cdrom:[Debian 12]/ bookworm main' \
  'deb http://security.debian.org/debian-security bookworm-security main' \
  'deb [arch=amd64 signed-by=/k.gpg]  http://ftp.de.debian.org/debian/ bookworm main' \
  >"$apt/sources.list"
expect "sources.list only" "$(debian_mirror "$apt")" "http://ftp.de.debian.org/debian/"
rm "$apt/sources.list"
cat >"$apt/sources.list.d/debian.sources" <<'SOURCES'
Types: deb
URIs: http://security.debian.org/debian-security
Suites: bookworm-security

Types: deb deb-src
URIs: http://mirror.example.org/debian http://deb.debian.org/debian
Suites: bookworm bookworm-updates
SOURCES
expect "deb822 only" "$(debian_mirror "$apt")" "http://mirror.example.org/debian"
printf 'deb http://ftp.fr.debian.org/debian bookworm main\n' >"$apt/sources.list"
expect "sources.list first, as apt reads them" "$(debian_mirror "$apt")" \
  "http://ftp.fr.debian.org/debian"
echo "scripts: ok"
