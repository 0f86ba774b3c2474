#!/usr/bin/env bash
# Builds Mardock for speed and runs every benchmark, printing one table.
#   scripts/run-benchmarks.sh           full run (several minutes)
#   scripts/run-benchmarks.sh --quick   smoke test, well under a minute
# Builds in ./build-bench, or the folder given as $BUILD_DIR.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${BUILD_DIR:-build-bench}"

# The typical script the program is compared with runs on PyVISA's pure
# Python backend, from Debian's package.
if ! dpkg-query -W -f='${Status}' python3-pyvisa-py 2>/dev/null | grep -q "install ok installed"; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq python3-pyvisa-py
fi

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build_dir" --target mardock-bench -- -j2
QT_QPA_PLATFORM=offscreen "$build_dir/bin/mardock-bench" "$@"
