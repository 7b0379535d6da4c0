# shellcheck shell=bash
# Shared by the scripts of this folder (sourced, not run): installs the Debian packages that
# are missing, and nothing when everything is there.
#
#   install_missing PACKAGE...
#
# Packages are installed with apt-get as root (or through sudo), without questions, so that
# the scripts run unattended on a fresh machine and in CI.

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

install_missing() {
  local missing=() pkg
  for pkg in "$@"; do installed "$pkg" || missing+=("$pkg"); done
  [[ ${#missing[@]} -eq 0 ]] && return 0
  local sudo=()
  if [[ $(id -u) -ne 0 ]]; then
    if command -v sudo >/dev/null 2>&1; then
      sudo=(sudo)
    else
      echo "missing packages: ${missing[*]}; install them as root (apt-get install ${missing[*]})" >&2
      return 1
    fi
  fi
  echo "installing ${missing[*]}"
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" </dev/null >/dev/null
}
