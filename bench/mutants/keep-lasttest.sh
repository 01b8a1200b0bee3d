#!/bin/sh
# Keeps ctest's logs of each mutant while a run goes on, for functions.py: when mutant N's line
# appears in the run's log, LastTest.log and LastTestsFailed.log are copied to OUT/N.log, N.failed.
# Usage: keep-lasttest.sh RUN.log BUILD OUTDIR &   (started beside run-groups.sh; it ends with the run)
log=$1 build=$2 out=$3
mkdir -p "$out"
seen=0
while :; do
    n=$(grep -c '^\[[0-9]*/' "$log" 2>/dev/null)
    n=${n:-0}
    if [ "$n" -gt "$seen" ]; then
        cp "$build/Testing/Temporary/LastTest.log" "$out/$n.log" 2>/dev/null
        [ -f "$build/Testing/Temporary/LastTestsFailed.log" ] && cp "$build/Testing/Temporary/LastTestsFailed.log" "$out/$n.failed"
        seen=$n
    fi
    grep -q '^killed [0-9]*, survived' "$log" 2>/dev/null && exit 0
    sleep 1
done
