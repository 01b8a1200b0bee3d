#!/usr/bin/env python3
"""Per mutant: result, the suites that failed (ctest's LastTestsFailed.log copy) and the QTest
functions that failed (LastTest.log copy). Usage: functions.py RUN.log LOGDIR  (LOGDIR as keep-lasttest.sh fills it)"""
import re, sys, os, collections
log, logs = sys.argv[1], sys.argv[2]
alone_suite, alone_func, kills_func = collections.Counter(), collections.Counter(), collections.Counter()
rows = []
for l in open(log):
    m = re.match(r'\[(\d+)/\d+\] (\S+):(\d+) (\w+) (\S+) (killed|survived|invalid) .*?\) ?(.*)', l)
    if not m:
        continue
    n, site, res = int(m[1]), f'{m[2]}:{m[3]}', m[6]
    suites, funcs = [], []
    if res == 'killed':
        if m[7].startswith('(whole'):
            suites = ['(whole run timed out)']
        elif os.path.exists(f'{logs}/{n}.failed'):
            suites = [x.split(':', 1)[1].strip() for x in open(f'{logs}/{n}.failed') if ':' in x]
        if os.path.exists(f'{logs}/{n}.log'):
            txt = open(f'{logs}/{n}.log', errors='replace').read()
            funcs = sorted({f for f in re.findall(r'^(?:FAIL!  :|QFATAL :) (\S+?)\(', txt, re.M)})
            if 'Timeout' in txt or 'timed out' in txt.lower():
                funcs.append('(a timeout)')
    for f in funcs: kills_func[f] += 1
    if len(suites) == 1: alone_suite[suites[0]] += 1
    if len(funcs) == 1: alone_func[funcs[0]] += 1
    print(f"{n:3} {res:8} {site} {m[4]} {m[5]}  suites={suites}  funcs={funcs}")
print('suites alone:', dict(alone_suite))
print('functions alone:', dict(alone_func))
print('functions kill:', dict(kills_func))
