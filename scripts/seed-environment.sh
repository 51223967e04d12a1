#!/usr/bin/env bash
# Makes an environment root stand for one of the sample machines in tests/data/environments:
# copies its drive C: and network shares and imports its machine identity and Outlook keys
# into the root's registry store. Refuses a root that already holds a registry.
#   scripts/seed-environment.sh NAME [ROOT]     (ROOT defaults to $KESTREL_HOME, else
#                                               ~/.local/share/kestrel)
# Needs the kestrel tool built (scripts/build.sh linux --target kestrel).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
name=${1:?usage: seed-environment.sh NAME [ROOT]}
root=${2:-${KESTREL_HOME:-${XDG_DATA_HOME:-$HOME/.local/share}/kestrel}}
sample="$here/tests/data/environments/$name"
tool=${KESTREL_TOOL:-${KESTREL_BUILD_ROOT:-$here/build}/linux/src/kestrel}
[ -d "$sample" ] || { echo "seed-environment: no sample machine named $name" >&2; exit 2; }
if [ -e "$root/registry.db" ]; then
    echo "seed-environment: $root already holds a registry; choose an empty root" >&2
    exit 2
fi
mkdir -p "$root"
for tree in drive_c unc; do
    if [ -d "$sample/$tree" ]; then
        mkdir -p "$root/$tree"
        cp -R "$sample/$tree/." "$root/$tree/"
    fi
done
for file in machine.reg outlook.reg; do
    KESTREL_HOME="$root" "$tool" reg import "$sample/$file"
done
echo "seeded $root as $name"
