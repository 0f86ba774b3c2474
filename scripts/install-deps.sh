#!/usr/bin/env bash
# Installs what building and testing Mardock needs, from Debian's packages,
# and the further packages named, when any of them is missing:
#   scripts/install-deps.sh [PACKAGE...]
set -euo pipefail

packages=(
    build-essential cmake ninja-build
    qt6-base-dev libgl-dev qt6-image-formats-plugins
    pkg-config libtirpc-dev rpcsvc-proto rpcbind
    iproute2 python3-pyvisa-py lxi-tools dbus-daemon
    "$@"
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}"
