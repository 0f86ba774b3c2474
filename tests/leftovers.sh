#!/usr/bin/env bash
# The suite's check that it leaves nothing open, run by CTest before and
# after every other test:
#   leftovers.sh before|after BUILD_FOLDER
# "before" records the sockets listening outside loopback; "after" fails if
# one appeared since, or if a process the tests started is still alive. Each
# test runs with MARDOCK_TEST_RUN=BUILD_FOLDER in its environment, which
# whatever it starts inherits, so that is how such a process is known; it is
# ended once reported.
set -euo pipefail
mode=$1
build=$2
record="$build/Testing/listeners-before.txt"
export PATH="$PATH:/usr/sbin:/sbin"
command -v ss >/dev/null || {
    echo "SKIP: ss is not installed (iproute2, scripts/install-deps.sh)"
    exit 77
}

# TCP and UDP sockets listening on anything but loopback, as "tcp 0.0.0.0:111".
listeners() {
    ss -Hltnu | awk '{ print $1, $5 }' |
        grep -Ev ' (127\.[0-9.]+|\[::1\]|\[::ffff:127\.[0-9.]+\])(%lo)?:[0-9]+$' | sort -u || true
}

if [ "$mode" = before ]; then
    mkdir -p "$(dirname "$record")"
    listeners >"$record"
    exit 0
fi

[ -r "$record" ] || {
    echo "no record from before the tests ($record)"
    exit 1
}
failed=0
opened=$(listeners | comm -13 "$record" -)
if [ -n "$opened" ]; then
    echo "listening outside loopback since the tests began:"
    echo "$opened"
    ss -Hltnup | grep -F -f <(awk '{ print $2 }' <<<"$opened") || true
    failed=1
fi

left=()
for environ in /proc/[0-9]*/environ; do
    grep -qxzF "MARDOCK_TEST_RUN=$build" "$environ" 2>/dev/null || continue
    pid=${environ#/proc/}
    left+=("${pid%/environ}")
done
if [ ${#left[@]} -gt 0 ]; then
    echo "still running, started by the tests:"
    ps -o pid,ppid,user,etime,args -p "$(
        IFS=,
        echo "${left[*]}"
    )" || true
    kill "${left[@]}" 2>/dev/null || true
    failed=1
fi
[ "$failed" = 0 ] && echo "no listener outside loopback and no process left by the tests"
exit "$failed"
