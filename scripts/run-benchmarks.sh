#!/usr/bin/env bash
# Builds Mardock for speed and runs every benchmark, printing one table.
#   scripts/run-benchmarks.sh           full run (about 6 minutes)
#   scripts/run-benchmarks.sh --quick   smoke test for CI, under 2 minutes
# Builds in ./build-bench, or the folder given as $BUILD_DIR. The window is
# drawn on an Xvfb server that the bench starts itself.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${BUILD_DIR:-build-bench}"

# The script the program is compared with runs on PyVISA's pure Python
# backend, from Debian's package; the window needs a virtual X server.
missing=()
for package in python3-pyvisa-py xvfb; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq "${missing[@]}"
fi

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build_dir" --target mardock-bench -- -j2
"$build_dir/bin/mardock-bench" "$@"
