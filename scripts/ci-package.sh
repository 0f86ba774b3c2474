#!/usr/bin/env bash
# Builds and checks the Mardock .deb (scripts/build-package.sh, in ./build-pkg
# or $BUILD_DIR), installs it on this machine as a user would, checks what it
# put where, starts the installed program against the installed simulated
# scope on a virtual display, and removes the package; then runs one
# acquisition with the same .deb in a clean Debian 12 root and in a clean
# Debian 13 root. Needs root (or sudo) and changes this machine's packages.
set -euo pipefail
cd "$(dirname "$0")/.."

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
build_dir="${BUILD_DIR:-build-pkg}"
BUILD_DIR="$build_dir" scripts/build-package.sh
scripts/install-deps.sh xvfb xdotool desktop-file-utils debootstrap
deb=$(realpath "$build_dir"/mardock_*.deb)

work=$(mktemp -d)
sim=""
xvfb=""
app=""
cleanup() {
    for pid in $app $sim $xvfb; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
    $sudo apt-get remove -y -qq mardock >/dev/null 2>&1 || true
}
trap cleanup EXIT

$sudo apt-get install -y -qq "$deb" >/dev/null
for f in /usr/bin/mardock /usr/bin/mardock-scopesim /usr/share/mardock/guide.md \
    /usr/share/doc/mardock/README.md /usr/share/applications/mardock.desktop \
    /usr/share/icons/hicolor/64x64/apps/mardock.png; do
    [ -e "$f" ] || { echo "missing after install: $f"; exit 1; }
done
# udev runs rules in the order of their names; 73-seat-late.rules acts on uaccess.
rule=$(dpkg -L mardock | grep '/lib/udev/rules.d/.*\.rules$') || { echo "missing: udev rule"; exit 1; }
[[ "$(basename "$rule")" < 73-seat-late.rules ]] || { echo "$rule runs after 73-seat-late.rules"; exit 1; }
for program in mardock mardock-scopesim; do
    zcat "/usr/share/man/man1/$program.1.gz" | grep -q '^\.SH OPTIONS' || { echo "no manual for $program"; exit 1; }
done
desktop-file-validate /usr/share/applications/mardock.desktop

echo "== mardock-scopesim --help"
help=$(mardock-scopesim --help)
for option in --port --storage --idn --trigger-mean --save-time --log --record-length --seed \
    --headers --close-after --hang-after --hang-ms --garbage --unterminated --oversize \
    --busy-forever --reply-delay --first-reply-delay --vxi11-port --no-portmapper --version --help; do
    grep -q -- "$option" <<<"$help" || { echo "--help does not list $option"; exit 1; }
done
mardock-scopesim --version
mardock --version
if mardock --bogus 2>/dev/null; then
    echo "mardock accepted an unknown option"
    exit 1
fi

echo "== headless start against the simulated scope"
mkdir -p "$work/config/mardock" "$work/storage"
started=$(scripts/start-simulator.sh "$work/sim.out" mardock-scopesim --port 0 \
    --storage "$work/storage" --log "$work/commands.log")
read -r port sim <<<"$started"
echo "TCPIP0::127.0.0.1::${port}::SOCKET" >"$work/config/mardock/instruments.txt"

display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do
    DISPLAY="$display" xdotool getdisplaygeometry >/dev/null 2>&1 && break
    sleep 0.1
done

XDG_CONFIG_HOME="$work/config" DISPLAY="$display" QT_QPA_PLATFORM=xcb mardock \
    >"$work/mardock.out" 2>&1 &
app=$!
if ! window=$(DISPLAY="$display" timeout 30 xdotool search --sync --onlyvisible --name "Mardock V1.1"); then
    echo "the Mardock window did not appear"
    cat "$work/mardock.out"
    exit 1
fi
kill -0 "$app" || { echo "mardock ended"; exit 1; }
grep -q '^\*IDN?' "$work/commands.log" || { echo "mardock never asked the scope"; exit 1; }
echo "window $window is up; the scope was asked: $(head -c 200 "$work/commands.log" | tr '\n' ' ')"
kill "$app"
wait "$app" 2>/dev/null || true
app=""
echo "package test passed"
for release in bookworm trixie; do
    scripts/ci-clean-root.sh "$deb" "$build_dir" "$release"
done
