#!/usr/bin/env bash
# Builds the Mardock .deb in ./build-pkg (or $BUILD_DIR) and checks it with
# this release's lintian: errors and warnings fail, except those listed with
# their reasons in packaging/lintian-explained.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh dpkg-dev file help2man lintian

build_dir="${BUILD_DIR:-build-pkg}"
# Only the programs: the package needs no tests built.
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
cmake --build "$build_dir" --target mardock mardock-scopesim package_files -- -j"${JOBS:-2}"
rm -f "$build_dir"/mardock_*.deb
(cd "$build_dir" && cpack -G DEB >/dev/null)
deb=$(realpath "$build_dir"/mardock_*.deb)
echo "== $deb"
dpkg-deb --info "$deb" | grep -E "Package|Version|Depends"

echo "== lintian $(dpkg-query -W -f='${Version}' lintian)"
lintian --fail-on error,warning --suppress-tags-from-file packaging/lintian-explained "$deb"
