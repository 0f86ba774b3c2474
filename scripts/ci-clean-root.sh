#!/usr/bin/env bash
# Installs a Mardock .deb with apt into a fresh minimal Debian 12 root, made
# with debootstrap from this machine's configured mirror, and runs one
# acquisition there as a plain user: the installed simulated scope, and the
# installed Mardock on a virtual display with stop-after 1 in its settings.
# Usage: scripts/ci-clean-root.sh mardock_VERSION_ARCH.deb WORK_FOLDER
set -euo pipefail
deb=$(realpath "$1")
work=$(realpath -m "$2")
root="$work/clean-root"
uid=4242

# The first mirror in the apt sources that serves Debian 12's main component,
# from one-line (.list) or deb822 (.sources) files.
mirror() {
    local f
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -r "$f" ] || continue
        awk '$1 == "deb" {
            i = 2
            if ($i ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
            if ($(i + 1) == "bookworm") { for (c = i + 2; c <= NF; c++) if ($c == "main") { print $i; exit } }
        }' "$f"
    done
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -r "$f" ] || continue
        awk 'function check() {
                if (types ~ / deb / && suites ~ / bookworm / && comps ~ / main / && uri != "") { print uri; found = 1; exit }
                types = suites = comps = uri = ""
            }
            /^[ \t]*$/ { check(); next }
            /^Types:/ { types = " " substr($0, 7) " " }
            /^URIs:/ { uri = $2 }
            /^Suites:/ { suites = " " substr($0, 8) " " }
            /^Components:/ { comps = " " substr($0, 12) " " }
            END { if (!found) check() }' "$f"
    done
}

url=$(mirror | head -n 1)
[ -n "$url" ] || { echo "no Debian 12 mirror for main in the apt sources"; exit 1; }

# Mounts are made only inside private mount namespaces, so nothing of the
# host stays mounted under the root; the folder is removed only when that holds.
cleanup() {
    if findmnt -rn -o TARGET | grep -q "^$root\(/\|$\)"; then
        echo "not removing $root: something is still mounted under it"
    else
        rm -rf "$root"
    fi
}
trap cleanup EXIT
rm -rf "$root"

echo "== debootstrap bookworm from $url"
debootstrap --variant=minbase bookworm "$root" "$url" >"$work/debootstrap.log" 2>&1 ||
    { tail -n 20 "$work/debootstrap.log"; exit 1; }
cp "$deb" "$root/tmp/"

# Runs a command in the root with /proc and /dev mounted for it alone; the
# mounts end with the command (and its namespace) at the latest.
in_root() {
    unshare --mount --propagation private -- bash -c '
        root=$1; shift
        trap "umount -R \"$root/dev\" \"$root/proc\" 2>/dev/null || true" EXIT
        mount -t proc proc "$root/proc"
        mount --rbind /dev "$root/dev"
        mount --make-rslave "$root/dev"
        "$@"' in_root "$root" "$@"
}

echo "== apt install $(basename "$deb") in the clean root"
in_root chroot "$root" apt-get update -qq
in_root chroot "$root" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    --no-install-recommends "/tmp/$(basename "$deb")" xvfb xdotool >"$work/apt.log" 2>&1 ||
    { tail -n 20 "$work/apt.log"; exit 1; }
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
echo "== one acquisition in the clean root"
in_root unshare --net --pid --fork -- bash -s "$root" "$uid" <<'RUN'
set -euo pipefail
root=$1
uid=$2
ip link set lo up
as_tester() {
    chroot --userspec="$uid:$uid" "$root" env -i PATH=/usr/bin:/bin HOME=/home/tester \
        XDG_RUNTIME_DIR="/run/user/$uid" DISPLAY=:1 QT_QPA_PLATFORM=xcb "$@"
}
chroot "$root" chown -R "$uid:$uid" /home/tester "/run/user/$uid"

as_tester env QT_QPA_PLATFORM=offscreen mardock-scopesim --port 0 --storage /home/tester/storage --trigger-mean 0 \
    --save-time 0 >"$root/tmp/sim.out" 2>&1 &
for _ in $(seq 100); do
    grep -q listening "$root/tmp/sim.out" && break
    sleep 0.1
done
port=$(sed -n 's/.*127\.0\.0\.1:\([0-9]*\).*/\1/p' "$root/tmp/sim.out")
[ -n "$port" ] || { echo "the simulated scope did not start"; cat "$root/tmp/sim.out"; exit 1; }
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
echo "clean-root test passed"
