#!/usr/bin/env bash
# How long the unattended start takes: `kestrelbak 'sf=x'` without a display, as a scheduled
# job starts it, on a fresh environment root (no Outlook, so it ends after loading its state).
# Figures for both builds, medians of RUNS starts after one that is not counted; the Windows
# build runs in one warm Wine session, beside Wine's own floor (a program that does nothing,
# cmd /c exit). The target is under 1 s; it is reported, never a test condition.
#   bench/unattended-start.sh [RUNS, default 9]     (after scripts/build.sh linux and windows)
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-9}
root=${KESTREL_BUILD_ROOT:-$here/build}
work=$(mktemp -d)
# The session ends before its prefix goes: wineserver -k finds the server through the prefix.
trap '[ -z "${WINEPREFIX:-}" ] || wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
export KESTREL_HOME="$work/home"

# Median in ms of RUNS timed starts of COMMAND (one more first, not counted); empty if one
# of them did not end within 60 s.
median_ms() {
    local times=() start status
    timeout 60 "$@" >/dev/null 2>&1
    [ $? -ne 124 ] || return 1
    for _ in $(seq "$runs"); do
        start=$(date +%s%N)
        timeout 60 "$@" >/dev/null 2>&1
        status=$?
        [ "$status" -ne 124 ] || return 1
        times+=($((($(date +%s%N) - start) / 1000000)))
    done
    printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p"
}

figure() {  # label, command...
    local label=$1 ms
    shift
    if ms=$(median_ms env -u DISPLAY -u WAYLAND_DISPLAY "$@"); then
        printf '  %-34s %6d ms   target under 1 s: %s\n' "$label" "$ms" \
            "$([ "$ms" -lt 1000 ] && echo met || echo 'NOT met')"
    else
        printf '  %-34s did not end within 60 s\n' "$label"
    fi
}

echo "unattended start without a display, $runs runs each, medians:"
if [ -x "$root/linux/src/kestrelbak" ]; then
    figure "kestrelbak 'sf=x' (Linux)" "$root/linux/src/kestrelbak" 'sf=x'
else
    echo "  no Linux build in $root/linux"
fi
if [ -f "$root/windows/src/kestrelbak.exe" ]; then
    export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all
    env -u DISPLAY wineboot -i >/dev/null 2>&1
    wineserver -p  # one session for all starts, so Wine's own start-up is counted once
    figure "kestrelbak.exe 'sf=x' (Wine)" wine "$root/windows/src/kestrelbak.exe" 'sf=x'
    figure "cmd /c exit (Wine's floor)" wine cmd /c exit
else
    echo "  no Windows build in $root/windows"
fi
