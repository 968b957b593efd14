#!/usr/bin/env bash
# Installs the Debian packages named as arguments that are not installed yet (apt-get, through
# sudo when not root; without either it names them and stops). Options before the names go to
# apt-get install.
set -euo pipefail
options=()
while (($#)) && [[ $1 == -* ]]; do options+=("$1"); shift; done
missing=()
for p in "$@"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
((${#missing[@]})) || exit 0
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "Missing Debian packages: ${missing[*]}. Install them as root (apt-get install ${missing[*]}) or run this as root." >&2
    exit 1
  fi
  sudo="sudo"
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${options[@]}" "${missing[@]}"
