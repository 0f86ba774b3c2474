#!/usr/bin/env bash
# Starts the simulated scope in the background and, once it says where it
# listens, prints its port and its process id, which ends it:
#   started=$(scripts/start-simulator.sh OUTPUT COMMAND [ARG...])
#   read -r port pid <<<"$started"
# COMMAND [ARG...] runs mardock-scopesim (with --port, 0 for any free one);
# its standard output, where it announces the port, goes to OUTPUT. Fails,
# saying why, if it ends or has not announced a port within 10 s.
set -euo pipefail
out=$1
shift
"$@" >"$out" &
sim=$!
for _ in $(seq 100); do
    port=$(sed -n 's/^mardock-scopesim listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$out")
    if [ -n "$port" ]; then
        echo "$port $sim"
        exit 0
    fi
    kill -0 "$sim" 2>/dev/null || {
        echo "The simulated scope did not start." >&2
        exit 1
    }
    sleep 0.1
done
kill "$sim"
echo "The simulated scope did not say where it listens." >&2
exit 1
