#!/usr/bin/env bash
# The main job: installs what is missing, builds the Linux program and starts it on the
# current display. The emulated Windows machine lives in $KESTREL_HOME
# (default ~/.local/share/kestrel); when that holds no registry yet it is seeded from the
# sample machine $KESTREL_SAMPLE (default outlook2013-win7, see tests/data/environments), so a
# first start shows real profiles.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh" --gui-only
"$here/scripts/build.sh" linux --target kestrelbak --target kestrel
root=${KESTREL_HOME:-${XDG_DATA_HOME:-$HOME/.local/share}/kestrel}
if [ ! -e "$root/registry.db" ]; then
    "$here/scripts/seed-environment.sh" "${KESTREL_SAMPLE:-outlook2013-win7}" "$root"
fi
build=${KESTREL_BUILD_ROOT:-$here/build}
exec "$build/linux/src/kestrelbak" "$@"
