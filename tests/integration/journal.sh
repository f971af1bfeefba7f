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
finish() {
    for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; wait "$pid" 2> /dev/null || true; done
    rm -rf "$work"
}
trap finish EXIT

"$journald" 2> "$work/journald.err" & pids+=($!)
for _ in $(seq 50); do [ -S /run/systemd/journal/socket ] && break; sleep 0.1; done

dbus-daemon --session --address="unix:path=$work/bus" --nofork --nopidfile 2> /dev/null & pids+=($!)
for _ in $(seq 50); do [ -S "$work/bus" ] && break; sleep 0.1; done
export ORVEL_BUS="unix:path=$work/bus" ORVEL_HOME="$work/home" ORVEL_TRACE_FILE="$work/trace.log"
unset ORVEL_LOG_FILE
cp -r "$source/examples/home" "$work/home"
mkdir "$work/run" && cp "$source/examples/home/quenrod.exe" "$work/run/"

"$bin/standin-distributor" > /dev/null & pids=($! "${pids[@]}")
"$bin/standin-nodemanager" --rules-id 1 > /dev/null & pids=($! "${pids[@]}")
# As systemd starts it: INVOCATION_ID tells the scheduler that the journal is there.
(cd "$work/run" && INVOCATION_ID=0123456789abcdef0123456789abcdef exec "$bin/scheduler") &
pids=($! "${pids[@]}")

journal() { journalctl --quiet --no-pager -o json "$@"; }
for _ in $(seq 100); do "$bin/schedctl" trigger "Full now" > /dev/null 2>&1 && break; sleep 0.2; done
# The example fires by objective every few seconds and Offsite by fallback every 10.
for _ in $(seq 60); do
    journal SYSLOG_IDENTIFIER=orvel-scheduler > "$work/journal.json"
    missing=0
    for cause in manual objective fallback; do
        grep -q "\"TRIGGER\":\"$cause\"" "$work/journal.json" || missing=1
    done
    [ "$missing" = 1 ] || break
    sleep 0.5
done
journal POLICY=Gold > "$work/gold.json"

python3 - "$work/journal.json" "$work/gold.json" <<'EOF'
import json, re, sys
entries = [json.loads(line) for line in open(sys.argv[1])]
gold = [json.loads(line) for line in open(sys.argv[2])]
firings = [e for e in entries if "Backup event" in e["MESSAGE"]]
problems = []
def expect(ok, what):
    if not ok:
        problems.append(what)
expect(any(e["MESSAGE"] == "State Scheduler/Scheduler 2" for e in entries), "no start line")
# Every firing line carries its fields: none came through syslog instead.
expect(firings and all("POLICY" in e for e in firings), "firing lines without fields")
for e in firings:
    expect(e["MESSAGE"] == "Backup 1 Backup event: Policy '%s', operation '%s'"
           % (e["POLICY"], e["OPERATION"]), "message " + e["MESSAGE"])
    expect(e["SCHEDULE"].startswith(e["POLICY"] + "-"), "schedule " + e["SCHEDULE"])
    expect(e["RULE_SET"] == "1" and e["PRIORITY"] == "6", "rule set or priority")
    expect(re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}([+-]\d\d:\d\d|Z)", e["DUE"]),
           "due " + e["DUE"])
    expect(re.fullmatch(r"-?\d+", e["LATE_MS"]) and abs(int(e["LATE_MS"])) < 5000,
           "late " + e["LATE_MS"])
expect(gold and all(e["POLICY"] == "Gold" for e in gold)
       and len(gold) == sum(e.get("POLICY") == "Gold" for e in entries), "journalctl POLICY=Gold")
causes = {(e["POLICY"], e["OPERATION"], e["TRIGGER"]) for e in firings}
for cause in [("Gold", "Nightly", "manual"), ("Gold", "Nightly", "objective"),
              ("Bronze", "Offsite", "fallback")]:
    expect(cause in causes, "no firing %s/%s by %s" % cause)
for p in problems:
    print("journal test:", p)
print("journal test: %d entries, %d firings, %d problems" % (len(entries), len(firings), len(problems)))
sys.exit(1 if problems else 0)
EOF
