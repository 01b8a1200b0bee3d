#!/bin/bash
# Aims mutants at single test cases: for each line of PICKS (casecover.py --thin output:
# Suite::case SITE RUNNERS SUITE...), the mutant runs first against the case's own suite; only
# where that case alone failed there does it run against the other suites that run the line.
# Prints, per site, whether the case killed it alone. Needs a configured BUILD and PostgreSQL
# up in the calling shell; the mutants edit the sources in place, so use a checkout of its own.
# Usage: bench/mutants/aim.sh BUILD PICKS OUTDIR
set -u
build=$1 picks=$2 out=$3
mkdir -p "$out"
base="Ledgerwell varnock_stats varnock_udp RecordingComponent ledgerwell_probe ledgerwell-coverage"
run() { # json site regex suites...
    local json=$1 site=$2 regex=$3
    shift 3
    [ -s "$json" ] || MUTANTS_TOOL=${MUTANTS_TOOL:-../shared/tools/mutants} \
        python3 bench/mutants/cases.py --build "$build" --files "${site%%:*}" --site "$site" \
        --tests "$regex" --target "$@" $base --timeout 180 --json "$json" > "${json%.json}.log" 2>&1
}
n=0
while read -r case site _ suites; do
    n=$((n + 1))
    suite=${case%%::*} name=${case#*::}
    run "$out/$n-own.json" "$site" "^$suite\$" "$suite"
    verdict=$(python3 - "$out/$n-own.json" "$name" <<'PY'
import json, re, sys
m = json.load(open(sys.argv[1]))['mutants'][0]
cases = m.get('cases', [])
mine = [c for c in cases if re.match(r'\w+::' + sys.argv[2] + r'\b', c)]
# "suite (Subprocess aborted)" or "(Timeout)" names no case: a crash while this case ran is
# no other case's kill.
others = [c for c in cases if c not in mine and '::' in c]
if m['result'] != 'killed': print('not-killed-in-its-suite')
elif others: print('killed-with-others-in-its-suite' if mine else 'killed-by-others-in-its-suite')
elif mine: print('alone-in-its-suite')
else: print('crashed-or-hung-in-its-suite')
PY
)
    others=$(echo "$suites" | tr ' ' '\n' | grep -vx "$suite" | tr '\n' ' ')
    if [ "$verdict" = alone-in-its-suite ] && [ -n "${others// /}" ]; then
        run "$out/$n-others.json" "$site" "^($(echo $others | tr ' ' '|'))\$" $others
        verdict=$(python3 -c "import json,sys; m=json.load(open(sys.argv[1]))['mutants'][0]; \
print('killed-elsewhere' if m['result'] == 'killed' else 'ALONE')" "$out/$n-others.json")
    elif [ "$verdict" = alone-in-its-suite ]; then
        verdict=ALONE
    fi
    echo "$case $site $verdict"
done < "$picks"
