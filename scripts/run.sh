#!/usr/bin/env bash
# The main job: installs what is missing, builds the Linux program and starts it on the
# current display. The emulated Windows machine lives in $KESTREL_HOME
# (default ~/.local/share/kestrel).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh" --gui-only
"$here/scripts/build.sh" linux --target kestrelbak
exec "$here/build/linux/src/kestrelbak" "$@"
