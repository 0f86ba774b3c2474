#!/usr/bin/env bash
# Debian 13 beside this machine's Debian 12: in a minimal Debian 13 (trixie)
# root, made with debootstrap from this machine's configured mirror, runs the
# README's test command with warnings as errors, then builds the .deb there
# and checks it with Debian 13's lintian. The .deb that is distributed is
# built on Debian 12; scripts/ci-package.sh installs that one in a clean
# Debian 13 root. Needs root; takes the sources git knows of.
#   scripts/ci-debian13.sh [WORK_FOLDER]     (default: build-debian13)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh debootstrap
work=$(realpath -m "${1:-build-debian13}")
root="$work/root"
. scripts/debian-root.sh

mkdir -p "$work"
trap 'debian_root_remove "$root"' EXIT
debian_root_make trixie "$root" "$work/debootstrap.log"
mkdir "$root/src"
git ls-files -z --cached --others --exclude-standard |
    tar --null --files-from=- --ignore-failed-read -cf - | tar -xf - -C "$root/src"

# As root, as CI runs the suite here, so the tests that need root run too.
in_debian13() {
    in_root "$root" chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
        LANG=C.UTF-8 CXXFLAGS=-Werror bash -c 'cd /src && "$@"' in_debian13 "$@"
}
echo "== scripts/run-tests.sh in Debian 13, warnings as errors"
in_debian13 scripts/run-tests.sh
# The README's other command: Mardock up against the simulated scope, asking
# it who it is; the process namespace ends both when the look is over.
echo "== scripts/try-with-simulator.sh in Debian 13, for 20 s on an offscreen display"
in_debian13 unshare --pid --fork bash -c 'QT_QPA_PLATFORM=offscreen scripts/try-with-simulator.sh >/dev/null &
    for _ in $(seq 200); do
        grep -qs "^\*IDN?" build/demo/commands.log && exit 0
        sleep 0.1
    done
    echo "Mardock did not ask the simulated scope"
    exit 1'
echo "== the .deb, built in Debian 13"
in_debian13 scripts/build-package.sh
echo "Debian 13 checks passed"
