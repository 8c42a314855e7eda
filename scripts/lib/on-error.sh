# Sourced by the scripts under scripts/: a command that stops a script under
# `set -e` names itself, its script and line, and its exit status on stderr,
# so a failing run never ends with a bare exit status. errtrace carries the
# trap into functions; a subshell only passes its status on, and the command
# that ran it is named once, by the script itself.
set -o errtrace
trap 'on_error_status=$? on_error_line=$LINENO
((BASH_SUBSHELL)) ||
  echo "${BASH_SOURCE[0]##*/}: line $on_error_line: failed (exit status $on_error_status): $BASH_COMMAND" >&2
exit "$on_error_status"' ERR
