#!/usr/bin/env bash
# The zudava tour: a small model compiled into a fresh embedded WMI repository, browsed, rendered,
# an event sent from one process to another, and a provider group linked and checked. Every step
# prints its command first.
#   scripts/tour.sh [path/to/zudava]   (default: build/default/bin/zudava)
set -euo pipefail
cd "$(dirname "$0")/.."
tool="$(realpath "${1:-build/default/bin/zudava}")"

# A machine state folder of its own, so the tour neither sees nor changes the user's repository;
# the group file then lives in its windows/ folder.
ZUDAVA_STATE_DIR="$(mktemp -d /tmp/zudava-tour-XXXXXX)"
export ZUDAVA_STATE_DIR
unset CommonProgramFiles
watcher=""
finish() {
    if [ -n "$watcher" ]; then kill "$watcher" 2>/dev/null || true; fi
    rm -rf "$ZUDAVA_STATE_DIR"
}
trap finish EXIT

# step ARGUMENTS...: shows the command as a user would type it, then runs it.
step() {
    local shown="zudava" argument
    for argument in "$@"; do
        if [[ "$argument" =~ ^[A-Za-z0-9_./=:,+-]+$ ]]; then
            shown+=" $argument"
        else
            shown+=" '${argument//\'/\'\\\'\'}'"
        fi
    done
    printf '\n$ %s\n' "$shown"
    "$tool" "$@"
}

step --version
step compile examples/library.mof
step classes
step enum Tour_Book
step query "SELECT Title, Year FROM Tour_Book WHERE Year < 1970"
step assoc 'Tour_Book.Isbn="978-0441013593"'
step refs 'Tour_Shelf.Name="Fiction"'
step xml 'Tour_Shelf.Name="Science"'

# One process watches, another sends: the watcher says on standard error when it listens.
events="$ZUDAVA_STATE_DIR/watch.out"
listening="$ZUDAVA_STATE_DIR/watch.err"
printf '\n$ zudava watch --count 1 --timeout 30 "SELECT * FROM Tour_BookLent" &\n'
"$tool" watch --count 1 --timeout 30 "SELECT * FROM Tour_BookLent" >"$events" 2>"$listening" &
watcher=$!
for _ in $(seq 1 300); do
    grep -q '^watching' "$listening" 2>/dev/null && break
    kill -0 "$watcher" 2>/dev/null || break
    sleep 0.1
done
cat "$listening"
step indicate Tour_BookLent Isbn=978-0441013593 Borrower=Ada Days=21
status=0
wait "$watcher" || status=$?
watcher=""
printf '\n(the watcher received, exit code %d:)\n' "$status"
cat "$events"
[ "$status" -eq 0 ]

step provider link TourLibrary
step provider link -n root/default TourLibrary
step provider list
step provider check
