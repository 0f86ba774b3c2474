#!/usr/bin/env bash
# Installs the packages, builds, and starts Mardock against the bundled
# simulated scope. Your own settings and instrument list are not touched:
# this demo keeps its configuration under build/demo/. With --vxi11 Mardock
# finds the scope as TCPIP0::127.0.0.1::inst0::INSTR, through a portmapper:
# run it through scripts/loopback-portmapper.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh

demo="$PWD/build/demo"
mkdir -p "$demo/config/mardock" "$demo/storage"
# The demo saves all three kinds of file; Prefs changes that as usual.
prefs="$demo/config/mardock/mardock.ini"
[ -f "$prefs" ] || printf '[Prefs]\nchkASCII=1\nchkScreen=1\n' >"$prefs"

vxi11=()
[ "${1:-}" = --vxi11 ] && vxi11=(--vxi11-port 0)
started=$(scripts/start-simulator.sh "$demo/scopesim.out" build/bin/mardock-scopesim \
    --port "${MARDOCK_DEMO_PORT:-0}" --storage "$demo/storage" --log "$demo/commands.log" \
    --trigger-mean 1 "${vxi11[@]}")
read -r port sim <<<"$started"
trap 'kill $sim 2>/dev/null || true' EXIT
descriptor="TCPIP0::127.0.0.1::${port}::SOCKET"
[ ${#vxi11[@]} -gt 0 ] && descriptor="TCPIP0::127.0.0.1::inst0::INSTR"
echo "$descriptor" >"$demo/config/mardock/instruments.txt"

echo "The simulated scope saves into: $demo/storage (the scope's E:\\ is $demo/storage/E)"
XDG_CONFIG_HOME="$demo/config" build/bin/mardock
