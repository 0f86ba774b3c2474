#!/usr/bin/env bash
# Installs a Mardock .deb with apt into a fresh minimal Debian root, made
# with debootstrap from this machine's configured mirror, and runs one
# acquisition there as a plain user: the installed simulated scope, and the
# installed Mardock on a virtual display with stop-after 1 in its settings.
# Needs root.
# Usage: scripts/ci-clean-root.sh mardock_VERSION_ARCH.deb WORK_FOLDER [RELEASE]
# RELEASE is bookworm (Debian 12, the default) or trixie (Debian 13).
set -euo pipefail
scripts=$(realpath "$(dirname "$0")")
deb=$(realpath "$1")
work=$(realpath -m "$2")
release=${3:-bookworm}
root="$work/clean-root-$release"
uid=4242
. "$scripts/debian-root.sh"

trap 'debian_root_remove "$root"' EXIT
debian_root_make "$release" "$root" "$work/debootstrap-$release.log"
cp "$deb" "$root/tmp/"

echo "== apt install $(basename "$deb") in the clean $release root"
in_root "$root" chroot "$root" apt-get update -qq
in_root "$root" chroot "$root" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    --no-install-recommends "/tmp/$(basename "$deb")" xvfb xdotool >"$work/apt-$release.log" 2>&1 ||
    { tail -n 20 "$work/apt-$release.log"; exit 1; }
chroot "$root" useradd --create-home --uid "$uid" --user-group tester

home="$root/home/tester"
mkdir -p "$home/.config/mardock" "$root/run/user/$uid" "$home/storage"
cat >"$home/.config/mardock/mardock.ini" <<'EOF'
[Prefs]
chkUseTimestamps=0
chkStopAfter=1
txtAcqLimit=1
chkWFM=1
chkASCII=1
chkScreen=0
chkRestoreRun=0
EOF
chmod 700 "$root/run/user/$uid"

# The acquisition runs in a network namespace of its own, whose only
# interface is loopback, and a process namespace that ends everything
# started there when it ends.
echo "== one acquisition in the clean $release root"
in_root "$root" unshare --net --pid --fork -- bash -s "$root" "$uid" "$scripts" <<'RUN'
set -euo pipefail
export root=$1 uid=$2
scripts=$3
ip link set lo up
as_tester() {
    chroot --userspec="$uid:$uid" "$root" env -i PATH=/usr/bin:/bin HOME=/home/tester \
        XDG_RUNTIME_DIR="/run/user/$uid" DISPLAY=:1 QT_QPA_PLATFORM=xcb "$@"
}
chroot "$root" chown -R "$uid:$uid" /home/tester "/run/user/$uid"

export -f as_tester
started=$("$scripts/start-simulator.sh" "$root/tmp/sim.out" as_tester env QT_QPA_PLATFORM=offscreen \
    mardock-scopesim --port 0 --storage /home/tester/storage --trigger-mean 0 --save-time 0)
port=${started% *}
echo "TCPIP0::127.0.0.1::${port}::SOCKET" >"$root/home/tester/.config/mardock/instruments.txt"

chroot "$root" Xvfb :1 -screen 0 1024x768x24 -nolisten tcp >"$root/tmp/xvfb.log" 2>&1 &
for _ in $(seq 100); do
    as_tester xdotool getdisplaygeometry >/dev/null 2>&1 && break
    sleep 0.1
done

as_tester mardock >"$root/tmp/mardock.out" 2>&1 &
if ! window=$(as_tester timeout 30 xdotool search --sync --onlyvisible --name "Mardock V1.1"); then
    echo "the Mardock window did not appear"
    cat "$root/tmp/mardock.out"
    exit 1
fi
# Start is the second of the four buttons along the window's top edge.
as_tester xdotool mousemove --window "$window" 61 12 click 1
storage="$root/home/tester/storage/E"
for _ in $(seq 300); do
    [ -s "$storage/my_CSVs_1_CH1.csv" ] && break
    sleep 0.1
done
ls -l "$storage" 2>/dev/null || true
for f in my_ISFs_1_CH1.isf my_CSVs_1_CH1.csv; do
    [ -s "$storage/$f" ] || { echo "no $f on the simulated scope"; cat "$root/tmp/mardock.out"; exit 1; }
done
RUN
echo "clean-root test passed on $release"
