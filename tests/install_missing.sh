# Sourced by the scripts that install their own tools (tests/run_cross.sh,
# tests/web/run.sh). Expects `fail` to be defined by the caller.

# install_missing COMMAND PACKAGE...: installs the packages unless COMMAND is there.
install_missing() {
  local command=$1
  shift
  [ -e "$command" ] || command -v "$command" >/dev/null && return
  [ "$(id -u)" -eq 0 ] || fail "missing $command; install $* or run as root"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "$@"
}
