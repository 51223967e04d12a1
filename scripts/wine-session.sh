#!/usr/bin/env bash
# Runs COMMAND (which starts Wine programs) in a Wine session of its own in $WINEPREFIX,
# creating the prefix first if it is new. Any session left in the prefix is ended before, since
# Wine's desktop belongs to the session: one started without a display cannot show windows
# later, and one started inside an Xvfb that has gone cannot show them either. The session is
# ended after, so no Wine process outlives the test (a test CTest killed on its timeout leaves
# one, which the next test ends). Tests using it must not run at the same time (CTest's
# RESOURCE_LOCK wine). With KESTREL_FRESH_WINEPREFIX=1 the prefix is removed first, so the
# command starts on a machine nothing ran on before (the installer check).
#   scripts/wine-session.sh COMMAND...
set -uo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the Wine prefix the tests may use}"
export WINEPREFIX WINEDEBUG=${WINEDEBUG:--all}

end_session() {
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
    return 0
}

end_session
if [ "${KESTREL_FRESH_WINEPREFIX:-}" = 1 ]; then
    rm -rf "$WINEPREFIX"
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    if ! env -u DISPLAY -u WAYLAND_DISPLAY wineboot -i >/dev/null 2>&1; then
        echo "wine-session: wineboot could not create the prefix $WINEPREFIX" >&2
        exit 1
    fi
    end_session
fi
status=0
"$@" || status=$?
end_session
exit "$status"
