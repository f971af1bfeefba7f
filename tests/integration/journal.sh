#!/usr/bin/env bash
# The event log in a real journal: a systemd-journald of the test's own, in a
# private mount namespace, takes the scheduler's lines while it fires the
# example rules on a private bus; journalctl then finds the firings by their
# fields. Needs root (for the namespace); skipped (77) where it cannot run.
#
#   journal.sh BIN_DIR SOURCE_DIR
set -euo pipefail
bin=$(realpath "$1") source=$(realpath "$2")
journald=/lib/systemd/systemd-journald

if [ "${JOURNAL_TEST_INSIDE:-}" = "" ]; then
    if [ "$(id -u)" -ne 0 ] || [ ! -x "$journald" ] || ! unshare -m true 2> /dev/null; then
        echo "journal test skipped: needs root, unshare and $journald"
        exit 77
    fi
    JOURNAL_TEST_INSIDE=1 exec unshare -m --propagation private "$0" "$@"
fi

# Inside the namespace: /run and the persistent journal are this test's own.
mount -t tmpfs tmpfs /run
[ ! -d /var/log/journal ] || mount -t tmpfs tmpfs /var/log/journal
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2> /dev/null; wait; rm -rf "$work"' EXIT
waitfor() { for _ in $(seq 50); do [ -S "$1" ] && return; sleep 0.1; done; }

"$journald" & pids+=($!)
dbus-daemon --session --address="unix:path=$work/bus" --nofork --nopidfile 2> /dev/null & pids+=($!)
waitfor /run/systemd/journal/socket && waitfor "$work/bus"
export ORVEL_BUS="unix:path=$work/bus" ORVEL_HOME="$work/home" ORVEL_TRACE_FILE="$work/trace.log"
unset ORVEL_LOG_FILE
cp -r "$source/examples/home" "$work/home" && mkdir "$work/run" && cp "$work/home/quenrod.exe" "$work/run"
"$bin/standin-distributor" > /dev/null & pids+=($!)
"$bin/standin-nodemanager" --rules-id 1 > /dev/null & pids+=($!)
# As systemd starts it: INVOCATION_ID tells the scheduler that the journal is there.
(cd "$work/run" && INVOCATION_ID=0123456789abcdef0123456789abcdef exec "$bin/scheduler") & pids+=($!)

for _ in $(seq 100); do "$bin/schedctl" trigger "Full now" > /dev/null 2>&1 && break; sleep 0.2; done
# The example fires by objective every few seconds, and Offsite by fallback every 10.
found() { [ -n "$(journalctl -q POLICY="$1" OPERATION="$2" TRIGGER="$3")" ]; }
for _ in $(seq 60); do
    found Gold Nightly manual && found Gold Nightly objective && found Bronze Offsite fallback && break
    sleep 0.5
done
journalctl -q -o json SYSLOG_IDENTIFIER=orvel-scheduler > "$work/all.json"

python3 - "$work/all.json" << 'EOF'
import json, re, sys
entries = [json.loads(line) for line in open(sys.argv[1])]
firings = [e for e in entries if "Backup event" in e["MESSAGE"]]
causes = {(e.get("POLICY"), e.get("OPERATION"), e.get("TRIGGER")) for e in firings}
checks = [("a start line", any(e["MESSAGE"] == "State Scheduler/Scheduler 2" for e in entries))]
checks += [("a firing of %s/%s by %s" % cause, cause in causes)
           for cause in [("Gold", "Nightly", "manual"), ("Gold", "Nightly", "objective"),
                         ("Bronze", "Offsite", "fallback")]]
# Every firing carries its fields: none came through syslog instead.
for e in firings:
    checks.append(("the fields of " + e["MESSAGE"], "POLICY" in e and e["MESSAGE"] ==
                   "Backup 1 Backup event: Policy '%s', operation '%s'" % (e["POLICY"], e["OPERATION"])
                   and e["SCHEDULE"].startswith(e["POLICY"] + "-")
                   and (e["RULE_SET"], e["PRIORITY"]) == ("1", "6")
                   and re.fullmatch(r"[-\d]{10}T[:\d]{8}\.\d{3}([+-]\d\d:\d\d|Z)", e["DUE"])
                   and re.fullmatch(r"-?\d+", e["LATE_MS"])))
failed = [what for what, ok in checks if not ok]
for what in failed:
    print("journal test: missing", what)
print("journal test: %d entries, %d firings, %d checks failed" % (len(entries), len(firings), len(failed)))
sys.exit(1 if failed else 0)
EOF
