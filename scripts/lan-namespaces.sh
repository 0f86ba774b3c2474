#!/usr/bin/env bash
# Runs a command on a LAN of its own: two private network namespaces, a
# "computer" and a "scope", joined by a veth pair, with addresses that exist
# only inside them (10.231.7.0/24). The command runs in the computer
# namespace; the scope namespace holds a portmapper (rpcbind, with a /run of
# its own) and three simulated scopes:
#   10.231.7.2  raw socket 4000 and VXI-11 on 9009, registered with the
#               portmapper, and answering mDNS: found both ways
#   10.231.7.3  raw socket 5025, answering mDNS only
#   10.231.7.4  raw socket 4000, answering neither
# Broadcasts and multicasts of a search stay on this LAN. Everything is torn
# down when the command ends, whichever way it ends.
#
#   sudo scripts/lan-namespaces.sh SCOPESIM COMMAND [ARG...]
#
# The command sees MARDOCK_LAN_NAMESPACES=1 and, in MARDOCK_LAN_LOG, the
# command log of the scope at 10.231.7.2. Needs root; without it, or where
# namespaces cannot be made, it says why and exits 77, which CTest counts
# as a skip.
set -euo pipefail

skip() {
    echo "SKIP: $*" >&2
    exit 77
}

[ $# -gt 1 ] || {
    echo "usage: $0 SCOPESIM COMMAND [ARG...]" >&2
    exit 2
}
scopesim=$1
shift
[ "$(id -u)" -eq 0 ] || skip "network namespaces for a private LAN need root"
export PATH="$PATH:/usr/sbin:/sbin"
command -v rpcbind >/dev/null || skip "rpcbind is not installed (scripts/install-deps.sh)"
command -v ip >/dev/null || skip "ip is not installed (iproute2)"

computer="mardock-computer-$$"
scope="mardock-scope-$$"
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}" $(cat "$work"/rpcbind.pid 2>/dev/null); do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    ip netns del "$computer" 2>/dev/null || true
    ip netns del "$scope" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
ip netns add "$computer" 2>/dev/null || skip "no network namespace can be made here"
ip netns add "$scope"
ip -n "$computer" link add veth0 type veth peer name veth1 netns "$scope" 2>/dev/null ||
    skip "no veth pair can be made here"
ip -n "$computer" addr add 10.231.7.1/24 broadcast + dev veth0
for host in 2 3 4; do
    ip -n "$scope" addr add "10.231.7.$host/24" broadcast + dev veth1
done
for side in "$computer" "$scope"; do
    ip -n "$side" link set lo up
done
ip -n "$computer" link set veth0 up
ip -n "$scope" link set veth1 up

# rpcbind keeps its socket and state under /run, and the simulated scope
# registers through that socket: both get a fresh /run of their own, so
# neither meets another portmapper on the machine.
ip netns exec "$scope" unshare --mount --propagation private bash -c '
    set -e
    mount -t tmpfs -o mode=755 tmpfs /run
    mkdir -m 755 /run/rpcbind
    if id _rpc >/dev/null 2>&1; then chown _rpc /run/rpcbind; fi
    rpcbind -f &
    echo $! >"$1/rpcbind.pid"
    for _ in $(seq 50); do
        rpcinfo -p 127.0.0.1 >/dev/null 2>&1 && break
        sleep 0.1
    done
    shift
    exec "$@"' rpcbind-and-scope "$work" "$scopesim" --address 10.231.7.2 --port 4000 \
    --vxi11-port 9009 --mdns --storage "$work/a" --log "$work/a.log" --trigger-mean 0 \
    --save-time 0 >"$work/a.out" 2>&1 &
pids+=($!)
ip netns exec "$scope" "$scopesim" --address 10.231.7.3 --port 5025 --mdns \
    --idn "MARDOCK,KXB5202-SIM,000002,1.0.0" --storage "$work/b" >"$work/b.out" 2>&1 &
pids+=($!)
ip netns exec "$scope" "$scopesim" --address 10.231.7.4 --port 4000 \
    --idn "MARDOCK,KXA5104-SIM,000003,1.0.0" --storage "$work/c" >"$work/c.out" 2>&1 &
pids+=($!)
for out in a b c; do
    for _ in $(seq 100); do
        grep -q listening "$work/$out.out" 2>/dev/null && break
        sleep 0.1
    done
    grep -q listening "$work/$out.out" || {
        echo "a simulated scope did not start:" >&2
        cat "$work/$out.out" >&2
        exit 1
    }
done
if grep -q "no portmapper" "$work/a.out"; then
    echo "the simulated scope found no portmapper in its namespace" >&2
    exit 1
fi

status=0
ip netns exec "$computer" env MARDOCK_LAN_NAMESPACES=1 MARDOCK_LAN_LOG="$work/a.log" "$@" ||
    status=$?
exit "$status"
