# shellcheck shell=bash
# Shared by the scripts of this folder (sourced, not run): installs the Debian packages that
# are missing, and nothing when everything is there.
#
#   install_missing PACKAGE...
#   APT_RECOMMENDS=1 install_missing PACKAGE...   (with the packages they recommend)
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
  if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo[@]}" dpkg --add-architecture i386
  fi
  # A mirror being synced fails a download now and then: the lists are fetched again after a
  # pause, and then the installation goes on with the lists that did download (a list that
  # failed may be one the missing packages do not need).
  local try recommends=(--no-install-recommends)
  [[ ${APT_RECOMMENDS:-0} == 1 ]] && recommends=()
  for try in 1 2; do
    "${sudo[@]}" apt-get update -qq && break
    if ((try == 1)); then
      echo "apt-get update failed; trying again in 15 s" >&2
      sleep 15
    else
      echo "apt-get update failed again; installing with the lists that did download" >&2
    fi
  done
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    "${recommends[@]}" "${missing[@]}" </dev/null >/dev/null
}
