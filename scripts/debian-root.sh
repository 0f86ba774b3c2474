# shellcheck shell=bash
# A minimal Debian root for a release, made with debootstrap from the mirror
# in this machine's apt sources. Sourced by the scripts that use one; they
# need root.
#   debian_root_make SUITE ROOT LOG   makes it (bookworm, trixie, ...)
#   in_root ROOT COMMAND [ARG...]     runs a command with the root's /proc and /dev mounted
#   debian_root_remove ROOT           removes it, unless something is still mounted there

# The first mirror in the apt sources that serves this machine's own release's
# main component, from one-line (.list) or deb822 (.sources) files; a Debian
# mirror serves the other releases too.
debian_mirror() {
    local f release
    release=$(. /etc/os-release && echo "$VERSION_CODENAME")
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -r "$f" ] || continue
        awk -v release="$release" '$1 == "deb" {
            i = 2
            if ($i ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
            if ($(i + 1) == release) { for (c = i + 2; c <= NF; c++) if ($c == "main") { print $i; exit } }
        }' "$f"
    done
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -r "$f" ] || continue
        awk -v release="$release" 'function check() {
                if (types ~ / deb / && suites ~ (" " release " ") && comps ~ / main / && uri != "") { print uri; found = 1; exit }
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

debian_root_make() {
    local suite=$1 root=$2 log=$3 url
    url=$(debian_mirror | head -n 1)
    [ -n "$url" ] || { echo "no Debian mirror for main in the apt sources"; return 1; }
    rm -rf "$root"
    echo "== debootstrap $suite from $url"
    debootstrap --variant=minbase "$suite" "$root" "$url" >"$log" 2>&1 ||
        { tail -n 20 "$log"; return 1; }
}

# /proc and /dev are mounted only inside a private mount namespace, so nothing
# of the host stays mounted under the root: the mounts end with the command
# (and its namespace) at the latest. The root is made a mount point, as a
# system's / is, since unshare cannot make a mount namespace in it otherwise.
in_root() {
    unshare --mount --propagation private -- bash -c '
        root=$1; shift
        trap "umount -R \"$root\" 2>/dev/null || true" EXIT
        mount --bind "$root" "$root"
        mount -t proc proc "$root/proc"
        mount --rbind /dev "$root/dev"
        mount --make-rslave "$root/dev"
        "$@"' in_root "$@"
}

debian_root_remove() {
    local root=$1
    if findmnt -rn -o TARGET | grep -q "^$root\(/\|$\)"; then
        echo "not removing $root: something is still mounted under it"
    else
        rm -rf "$root"
    fi
}
