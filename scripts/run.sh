#!/usr/bin/env bash
# The main job: installs what is missing and builds the Linux program. The emulated Windows
# machine lives in $KESTREL_HOME (default ~/.local/share/kestrel); when that holds no registry
# yet it is seeded from the sample machine $KESTREL_SAMPLE (default outlook2013-win7, see
# tests/data/environments), so there are real profiles to work on.
# - With a display ($DISPLAY or $WAYLAND_DISPLAY): starts the main window on it.
# - Without one: backs up the first profile with every item it offers (kestrel backup), checks
#   the archive (kestrel archive verify) and shows where it is and what it holds (kestrel
#   archive list). The archive goes to $KESTREL_BACKUP_DIR (default $KESTREL_HOME/backups),
#   named after the profile and the time, so no earlier archive is replaced.
#   Exit status: the backup's (0 every item backed up, 1 written but an item failed, 2 nothing
#   written), or 1 when the written archive does not verify.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${KESTREL_BUILD_ROOT:-$here/build}
"$here/scripts/install-deps.sh" --gui-only
root=${KESTREL_HOME:-${XDG_DATA_HOME:-$HOME/.local/share}/kestrel}
export KESTREL_HOME=$root

seed_if_empty() {
    if [ ! -e "$root/registry.db" ]; then
        "$here/scripts/seed-environment.sh" "${KESTREL_SAMPLE:-outlook2013-win7}" "$root"
    fi
}

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    "$here/scripts/build.sh" linux --target kestrelbak --target kestrel
    seed_if_empty
    exec "$build/linux/src/kestrelbak" "$@"
fi

"$here/scripts/build.sh" linux --target kestrel
seed_if_empty
kestrel="$build/linux/src/kestrel"

# The first profile and the item boxes the backup tab offers for it, from the tool's JSON
# (one item per line: {"box": N, ..., "enabled": true|false, ...}).
profiles=$("$kestrel" profiles --json)
read -r flags profile < <(awk '
    /"name": "/ && !seen { sub(/^[^:]*: "/, ""); sub(/",?$/, ""); name = $0; seen = 1; next }
    /"name": "/ { exit }
    seen && /"box": / { flags = flags (/"enabled": true/ ? "1" : "0") }
    END { print flags, name }' <<<"$profiles")
if [ -z "$profile" ] || [[ ! $flags =~ 1 ]]; then
    echo "run: no profile with an item to back up in $root" >&2
    exit 2
fi

folder=${KESTREL_BACKUP_DIR:-$root/backups}
mkdir -p "$folder"
archive="$folder/$profile-$(date +%Y-%m-%d-%H%M%S).ksb"
echo "Backing up profile \"$profile\" of $root, items $flags, to $archive"
status=0
"$kestrel" backup --profile "$profile" --items "$flags" \
    --description "Backup of the sample machine by scripts/run.sh" "$archive" || status=$?
if [ "$status" -eq 2 ]; then
    echo "run: nothing was written (status 2)" >&2
    exit 2
fi
echo
echo "Checking $archive"
if ! "$kestrel" archive verify "$archive"; then
    echo "run: the archive does not verify" >&2
    exit 1
fi
echo
echo "$archive holds:"
"$kestrel" archive list "$archive"
if [ "$status" -ne 0 ]; then
    echo "run: the archive was written, but an item failed (status $status)" >&2
fi
exit "$status"
