#!/usr/bin/env bash
# Runs the GUI smoke tests on the X display in $DISPLAY (Xvfb) and saves screenshots of the
# main window into OUTDIR: both tabs, each menu opened, the window over a sample machine
# (sample-profiles.png), a backup while its worker writes (backup-progress.png) and the
# backup's result message (backup-result.png), which this script closes; then a restore: the
# password prompt with the password typed (restore-password.png), the restore tab of the opened
# backup (restore-tab-filled.png) and the restore's result message (restore-result.png); then
# the scheduled-backup options window: the scheduler's listing of its jobs (job-listing.png),
# the window filled in ("Keep the last 3 backups") before its job is added (options-window.png)
# and its own listing of the job with its last run (job-listing-last-run.png), and the window
# with the administrator's policies set (options-window-policies.png); the question a
# backup asks while Outlook holds its data file (outlook-running.png); then the disc window
# (disc-composer.png) and its erase window (disc-erase.png). Also checks the window's title as
# the X server sees it. Under Wine the test program also keeps, in backup-snapshot-fallback.txt,
# what Backup Now said when Wine could make no shadow copy; it is printed with the log.
#
#   scripts/gui-smoke.sh OUTDIR COMMAND...     (COMMAND runs kestrel_gui_tests, e.g. via wine)
# The test program is given --screenshots=FOLDER; under Wine pass the folder's Windows form in
# KESTREL_SCREENSHOT_ARG (for example Z:/path).
set -euo pipefail
out=$1
shift
# This run's own files only: the installer check keeps its screenshots in a folder inside.
mkdir -p "$out"
find "$out" -maxdepth 1 -type f -delete
arg=${KESTREL_SCREENSHOT_ARG:-$out}

# A window left waiting (a menu or dialog nobody closed) must not hold CI up.
timeout 300 "$@" --screenshots="$arg" >"$out/gui-tests.log" 2>&1 &
tests=$!

capture() { import -window root "$out/$1.png"; }
wait_for() {
    for _ in $(seq 1 600); do
        [ -f "$out/$1.ready" ] && return 0
        kill -0 "$tests" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

# The message boxes are captioned "Kestrel" (the main window "Kestrel V2.90"). Without a window
# manager nothing hands a new window the keyboard, so the box is given it before Return.
close_message_box() {
    local id
    for id in $(xdotool search --name '^Kestrel$' 2>/dev/null); do
        xdotool windowfocus "$id" 2>/dev/null || true
    done
    sleep 0.3
    xdotool key Return
}

status=0
if wait_for backup-tab; then
    capture backup-tab
    if xwininfo -root -tree | grep -q '"Kestrel V2.90"'; then
        echo "title: the X server shows a window titled \"Kestrel V2.90\"" | tee "$out/title.txt"
    else
        echo "title: no window titled \"Kestrel V2.90\" on the display" | tee "$out/title.txt"
        status=1
    fi
    n=0
    while read -r x y; do
        n=$((n + 1))
        xdotool mousemove "$x" "$y" click 1
        sleep 1
        capture "menu-$n"
        # The first Escape closes the menu, the second leaves the menu bar (Windows).
        xdotool key Escape
        sleep 0.3
        xdotool key Escape
        sleep 0.5
    done <"$out/backup-tab.ready"
    xdotool mousemove 900 800
    touch "$out/backup-tab.done"
else
    echo "the GUI tests never reached the backup tab" >&2
    status=1
fi
if wait_for restore-tab; then
    capture restore-tab
    touch "$out/restore-tab.done"
else
    status=1
fi
# The window over a sample machine whose profiles it lists.
if wait_for sample-profiles; then
    capture sample-profiles
    touch "$out/sample-profiles.done"
else
    echo "the GUI tests never showed the sample machine's profiles" >&2
    status=1
fi
# A backup while the worker writes the archive: the progress panel, its texts and Cancel.
if wait_for backup-progress; then
    capture backup-progress
    touch "$out/backup-progress.done"
else
    echo "the GUI tests never showed a backup in progress" >&2
    status=1
fi
# The result message is a real message box, which the test waits on until it is closed.
if wait_for backup-result; then
    sleep 1
    capture backup-result
    close_message_box
    touch "$out/backup-result.done"
else
    echo "the GUI tests never showed the backup's result" >&2
    status=1
fi
# The restore of a protected backup: the prompt is answered by the test once captured.
for view in restore-password restore-tab-filled; do
    if wait_for "$view"; then
        capture "$view"
        touch "$out/$view.done"
    else
        echo "the GUI tests never showed $view" >&2
        status=1
    fi
done
if wait_for restore-result; then
    sleep 1
    capture restore-result
    close_message_box
    touch "$out/restore-result.done"
else
    echo "the GUI tests never showed the restore's result" >&2
    status=1
fi
# The options window, over the main window while it is modal (job-listing.png, then
# options-window.png, job-listing-last-run.png and options-window-policies.png); then the disc
# window with the new backup and a composed image (disc-composer.png) and the erase window
# opened over it (disc-erase.png). Between them the question asked when Outlook holds a data
# file (outlook-running.png), a real message box like the results.
for view in job-listing options-window job-listing-last-run options-window-policies \
    outlook-running disc-composer disc-erase; do
    if wait_for "$view"; then
        if [ "$view" = outlook-running ]; then
            sleep 1
            capture "$view"
            close_message_box
        else
            capture "$view"
        fi
        touch "$out/$view.done"
    else
        echo "the GUI tests never showed $view" >&2
        status=1
    fi
done
wait "$tests" || status=$?
cat "$out/gui-tests.log"
if [ -f "$out/backup-snapshot-fallback.txt" ]; then
    cat "$out/backup-snapshot-fallback.txt"
fi
ls "$out"/*.png
exit "$status"
