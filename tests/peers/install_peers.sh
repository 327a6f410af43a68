#!/usr/bin/env bash
# Makes sure the two FBUS clients the peers tests drive are installed: gammu and
# gnokii-cli from Debian. Installs whichever is missing (as root, or through sudo
# without a password); fails with a clear line when it cannot.
set -euo pipefail
missing=()
command -v gammu >/dev/null 2>&1 || missing+=(gammu)
command -v gnokii >/dev/null 2>&1 || missing+=(gnokii-cli)
if [ ${#missing[@]} -eq 0 ]; then
  echo "peers: $(gammu --version 2>/dev/null | grep -m1 -o "Gammu version [0-9.]*"), $(gnokii --version 2>&1 | grep -m1 -o "GNOKII Version [0-9.]*")"
  exit 0
fi
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if sudo -n true 2>/dev/null; then SUDO="sudo -n"; else
    echo "peers: ${missing[*]} missing and no root to install them" >&2
    exit 1
  fi
fi
echo "peers: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
command -v gammu >/dev/null && command -v gnokii >/dev/null
