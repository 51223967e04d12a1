#!/usr/bin/env bash
# Finishes the tables of the Windows Installer package where wixl cannot:
#   - each policy component gets its condition: component PolicyX is installed only when the
#     property X (in capitals) is given, so `msiexec /i kestrel.msi KEEP=4` configures the Keep
#     policy and leaves every other one not configured (wixl has no Condition element). The
#     condition also holds while the package is removed (REMOVE=ALL): Wine's msiexec skips a
#     component whose condition is false in every action, its removal included, and would leave
#     the policies the install wrote;
#   - registry values of the root HKMU get Windows Installer's code for it, -1 (HKEY_LOCAL_MACHINE
#     for every user, HKEY_CURRENT_USER for one), where wixl writes 4, which is no root at all.
#   packaging/msi-tables.sh PACKAGE.msi
set -euo pipefail
package=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# An exported table: its column names, their types and its name, then a row a line.
msiinfo export "$package" Component >Component.idt
msiinfo export "$package" Registry >Registry.idt
awk -F'\t' -v OFS='\t' '
    NR > 3 && $1 ~ /^Policy/ && $1 !~ /^PolicyTemplates/ { $5 = toupper(substr($1, 7)) " OR REMOVE~=\"ALL\"" }
    { print }
' Component.idt >Component.new
awk -F'\t' -v OFS='\t' 'NR > 3 && $2 == "4" { $2 = "-1" } { print }' Registry.idt >Registry.new
conditioned=$(awk -F'\t' 'NR > 3 && $5 != ""' Component.new | wc -l)
if [ "$conditioned" -ne 11 ]; then
    echo "msi-tables: $conditioned policy components found in $package, 11 expected" >&2
    exit 1
fi
if awk -F'\t' 'NR > 3 && $2 !~ /^(-1|[0-3])$/ { bad = 1 } END { exit !bad }' Registry.new; then
    echo "msi-tables: a registry value of $package has no root Windows Installer knows" >&2
    exit 1
fi
mv Component.new Component.idt
mv Registry.new Registry.idt
msibuild "$package" -i Component.idt
msibuild "$package" -i Registry.idt
