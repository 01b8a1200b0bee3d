#!/usr/bin/env python3
"""The killed sites an after-run must see again when the named suites changed: those that only
changed suites, or a hang, killed. A site an unchanged suite killed is killed again by it, over
the same code.
Usage: recheck.py BASELINE.json CHANGED-SUITE...  (mutants --json output; prints FILE:LINE:COL)"""
import json, sys

data = json.load(open(sys.argv[1]))
changed = set(sys.argv[2:])
for m in data['mutants']:
    if m['result'] == 'killed' and all(s in changed or 'timed out' in s for s in m['failed']):
        print(f"{m['file']}:{m['line']}:{m['col']}")
