#!/usr/bin/env bash
# Runs a command beside a portmapper (rpcbind) that nothing outside can
# reach: in a private network namespace whose only interface is lo, with a
# /run of its own, so it neither meets nor replaces another rpcbind on the
# machine. rpcbind cannot be bound to 127.0.0.1 alone (`-h` aborts on
# Debian 12 and binds only UDP on Debian 13), so the namespace is what keeps
# it off every other network.
#
#   sudo scripts/loopback-portmapper.sh COMMAND [ARG...]
#
# For example, Mardock against the simulated scope over VXI-11:
#   sudo scripts/loopback-portmapper.sh scripts/try-with-simulator.sh --vxi11
#
# Needs root. Without it, or where namespaces cannot be made, it says why and
# exits 77, which CTest counts as a skip.
set -euo pipefail

skip() {
    echo "SKIP: $*" >&2
    exit 77
}

if [ "${MARDOCK_LOOPBACK_NAMESPACE:-}" != 1 ]; then
    [ $# -gt 0 ] || {
        echo "usage: $0 COMMAND [ARG...]" >&2
        exit 2
    }
    [ "$(id -u)" -eq 0 ] || skip "a private network namespace for the portmapper needs root"
    export PATH="$PATH:/usr/sbin:/sbin"
    command -v rpcbind >/dev/null || skip "rpcbind is not installed (scripts/install-deps.sh)"
    command -v ip >/dev/null || skip "ip is not installed (iproute2)"
    unshare --net --mount true 2>/dev/null || skip "no network namespace can be made here"
    MARDOCK_LOOPBACK_NAMESPACE=1 exec unshare --net --mount --propagation private "$0" "$@"
fi

ip link set lo up
interfaces=$(ip -o link show | awk -F': ' '{ print $2 }')
if [ "$interfaces" != lo ]; then
    echo "the namespace has more than lo: $interfaces" >&2
    exit 1
fi

# rpcbind keeps its socket, lock and state under /run. A fresh /run hides
# another rpcbind's; everything else there (a desktop session's sockets)
# stays reachable through links.
host_run=$(mktemp -d)
mount --bind /run "$host_run"
mount -t tmpfs -o mode=755 tmpfs /run
for entry in "$host_run"/*; do
    case "${entry##*/}" in
    rpcbind*) ;;
    *) ln -s "$entry" "/run/${entry##*/}" ;;
    esac
done
mkdir -m 755 /run/rpcbind
id _rpc >/dev/null 2>&1 && chown _rpc /run/rpcbind

rpcbind -f &
portmapper=$!
cleanup() {
    kill "$portmapper" 2>/dev/null || true
    wait "$portmapper" 2>/dev/null || true
    umount -l "$host_run" 2>/dev/null && rmdir "$host_run"
}
trap cleanup EXIT
for _ in $(seq 50); do
    rpcinfo -p 127.0.0.1 >/dev/null 2>&1 && break
    kill -0 "$portmapper" 2>/dev/null || {
        echo "rpcbind did not start" >&2
        exit 1
    }
    sleep 0.1
done
rpcinfo -p 127.0.0.1 >/dev/null 2>&1 || {
    echo "rpcbind does not answer on 127.0.0.1" >&2
    exit 1
}

# Under sudo the command runs as the user who asked, so that what it builds
# or writes stays theirs.
as_user=()
if [ -n "${SUDO_UID:-}" ] && [ "$SUDO_UID" != 0 ]; then
    as_user=(setpriv --reuid="$SUDO_UID" --regid="$SUDO_GID" --init-groups --)
    HOME=$(getent passwd "$SUDO_UID" | cut -d: -f6)
    export HOME
fi
status=0
"${as_user[@]}" "$@" || status=$?
exit "$status"
