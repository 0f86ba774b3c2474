#!/usr/bin/env bash
# Builds Mardock for speed and runs every benchmark, printing one table.
#   scripts/run-benchmarks.sh           full run (about 20 minutes)
#   scripts/run-benchmarks.sh --quick   smoke test for CI, under a minute
# Builds in ./build-bench, or the folder given as $BUILD_DIR. The window is
# drawn on an Xvfb server that the bench starts itself.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${BUILD_DIR:-build-bench}"

# The script the program is compared with runs on PyVISA's pure Python
# backend, from Debian's package; the window needs a virtual X server.
scripts/install-deps.sh xvfb

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build_dir" --target mardock-bench -- -j2
"$build_dir/bin/mardock-bench" "$@"
