# The stand-ins for a running Outlook that a check starts, sourced by
# scripts/outlook-running-test.sh and scripts/schedule-history-test.sh after
# scripts/cli-check-machine.sh (it uses $system, $work, fail and, on Linux, $KESTREL_HOME), with
# holder_program set to the stand-in: kestrel-holder on the emulated Linux machine, the Wine
# stand-in (tests/cli/outlook-stand-in) under Wine, which runs as a file named OUTLOOK.EXE.
#   start_holder [--refuse-close] WINDOWS-PATH  starts one that holds the file and waits until
#                                              it does (fails the check and exits otherwise)
#   holder_pid WINDOWS-PATH                    the process id of the running holder of the
#                                              file, waiting a while for one (status 1: none)
#   end_holders                                ends the holders the check started and those
#                                              the runs started again (on Linux at exit too)
# What a holder prints goes to holder.out in the work folder.
[ -f "$holder_program" ] || { echo "FAIL $holder_program was not built"; exit 1; }

# poll_holder TRIES COMMAND...: runs the command every 0.1 s until it prints something, at most
# TRIES times, and prints that; status 1 when it never did.
poll_holder() {
    local tries=$1 found
    shift
    while [ "$tries" -gt 0 ]; do
        found=$("$@")
        if [ -n "$found" ]; then
            echo "$found"
            return 0
        fi
        sleep 0.1
        tries=$((tries - 1))
    done
    return 1
}

if [ "$system" = linux ]; then
    holder_records="$KESTREL_HOME/processes"
    holders_started=()
    # The running holder that records the file.
    recorded_holder() {
        local pid
        pid=$(grep -l -F -x "file=$1" "$holder_records"/*.holder 2>/dev/null | head -1 |
            xargs -r sed -n 's/^pid=//p')
        if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
            echo "$pid"
        fi
    }
    # Waiting up to 10 s for one to record itself.
    holder_pid() { poll_holder 100 recorded_holder "$1"; }
    start_holder() {
        "$holder_program" "$@" >>"$work/holder.out" 2>&1 &
        holders_started+=($!)
        holder_pid "${!#}" >/dev/null || {
            fail "the holder did not start"
            cat "$work/holder.out"
            exit 1
        }
    }
    end_holders() {
        local pid tries
        for pid in "${holders_started[@]}" $(sed -n 's/^pid=//p' "$holder_records"/*.holder 2>/dev/null); do
            kill "$pid" 2>/dev/null
            tries=0
            while kill -0 "$pid" 2>/dev/null && [ $tries -lt 100 ]; do
                sleep 0.1
                tries=$((tries + 1))
            done
        done
        holders_started=()
        return 0
    }
    trap end_holders EXIT
else
    # A program named OUTLOOK.EXE, in a folder of its own: it keeps its arguments and its log
    # of starts and ends beside it. The Wine server of the check ends every one at exit.
    mkdir -p "$work/outlook"
    cp "$holder_program" "$work/outlook/OUTLOOK.EXE"
    stand_in_log="$work/outlook/OUTLOOK.EXE.log"
    # The last one started that has not closed (it holds the one file it was given).
    open_stand_in() {
        tr -d '\r' <"$stand_in_log" 2>/dev/null |
            awk '$1 == "started" { last = $2; open[$2] = 1 }
                 $1 == "closed" { delete open[$2] }
                 END { if (last in open) print last }'
    }
    # Waiting up to 20 s for one to start.
    holder_pid() { poll_holder 200 open_stand_in; }
    start_holder() {
        wine "$work/outlook/OUTLOOK.EXE" "$@" >>"$work/holder.out" 2>&1 &
        holder_pid "${!#}" >/dev/null || { fail "the stand-in did not start"; exit 1; }
    }
    # Wine's taskkill ends the process as the Task Manager does; only a check may do that.
    end_holders() {
        local pid
        pid=$(holder_pid) || return 0
        wine taskkill /f /pid "$pid" >/dev/null 2>&1
        echo "closed $pid" >>"$stand_in_log"
    }
fi
