#!/usr/bin/env bash
# Installs the packages, builds, and starts Mardock against the bundled
# simulated scope. Your own settings and instrument list are not touched:
# this demo keeps its configuration under build/demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh

demo="$PWD/build/demo"
mkdir -p "$demo/config/mardock" "$demo/storage"
port="${MARDOCK_DEMO_PORT:-4000}"
echo "TCPIP0::127.0.0.1::${port}::SOCKET" >"$demo/config/mardock/instruments.txt"

build/bin/mardock-scopesim --port "$port" --storage "$demo/storage" \
    --log "$demo/commands.log" --trigger-mean 1 &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
sleep 0.5

echo "The simulated scope saves into: $demo/storage (the scope's E:\\ is $demo/storage/E)"
XDG_CONFIG_HOME="$demo/config" build/bin/mardock
