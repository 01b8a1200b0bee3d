#!/usr/bin/env python3
"""Which suites kill which mutants: per suite its kills and the kills no other suite makes.
Usage: cover.py RESULT.json...  (mutants --json output)"""
import json, sys, collections

for path in sys.argv[1:]:
    data = json.load(open(path))
    killed = [m for m in data['mutants'] if m['result'] == 'killed']
    kills, unique = collections.Counter(), collections.Counter()
    for m in killed:
        for suite in m['failed']:
            kills[suite] += 1
        if len(m['failed']) == 1:
            unique[m['failed'][0]] += 1
    print(f"{path}: killed {data['killed']}, survived {data['survived']}, invalid {data['invalid']}")
    for suite, n in kills.most_common():
        print(f"  {suite:<40} kills {n:3}  alone {unique[suite]:3}")
    for m in killed:
        if len(m['failed']) <= 1:
            print(f"    only {m['failed']}: {m['file']}:{m['line']}:{m['col']} {m['before']}->{m['after']}")
