#!/usr/bin/env python3
"""Which QTest cases each kill depends on.

Run: cases.py MUTANTS-ARGUMENTS...  runs ../shared/tools/mutants (MUTANTS_TOOL names another)
with the same arguments and adds to its --json result, per killed mutant, `cases`: the FAIL! and
QFATAL lines (Suite::function(row)) ctest's output showed, and `suite (Timeout)`, `suite
(SEGFAULT)`... for a suite that hung or crashed; a run the tool stops as a whole has none.
run-groups.sh takes it as MUTANTS=bench/mutants/cases.py.

Ask: cases.py --without REGEX RUN.json...  prints the kills that only cases matching REGEX
(a re.search over `Suite::function(row)`) or a whole-run time-out made: what dropping those
cases would lose. Without REGEX (''), the cases that kill alone."""
import collections, importlib.machinery, importlib.util, json, os, re, sys


def ask(pattern, paths):
    alone = collections.Counter()
    for path in paths:
        for m in json.load(open(path))['mutants']:
            if m['result'] != 'killed':
                continue
            cases = m.get('cases', [])
            kept = [c for c in cases if not (pattern and re.search(pattern, c))]
            site = f"{m['file']}:{m['line']}:{m['col']} {m['before']}->{m['after']}"
            if pattern and not kept:
                print(f"lost {site}  by {'; '.join(cases) or m['failed']}")
            if not pattern and len(cases) <= 1:
                alone[cases[0] if cases else str(m['failed'])] += 1
    for case, n in alone.most_common():
        print(f'{n:3}  {case}')


def run_tool():
    path = os.environ.get('MUTANTS_TOOL', '../shared/tools/mutants')
    loader = importlib.machinery.SourceFileLoader('mutants', path)
    tool = importlib.util.module_from_spec(importlib.util.spec_from_loader('mutants', loader))
    loader.exec_module(tool)
    runs = []  # the failing cases of each ctest run, the clean one first
    plain_ctest, plain_run = tool.ctest_cmd, tool.run
    tool.ctest_cmd = lambda args: plain_ctest(args) + ['--output-on-failure']

    def run(cmd, limit=None):
        code, out = plain_run(cmd, limit)
        if cmd[0] == 'ctest':
            cases = set(re.findall(r'^(?:FAIL!  |QFATAL ):\s*(\w+::\w+\(.*?\))(?=\s|$)', out, re.M))
            for suite, why in re.findall(r'^\s*\d+ - (\S+) \((.+?)\)\s*$', out, re.M):
                if why != 'Failed' or not cases:  # a hang, a crash or no FAIL! line
                    cases.add(f'{suite} ({why})')
            runs.append(sorted(cases))
            print('  cases:', '; '.join(runs[-1]), flush=True)
        return code, out
    tool.run = run

    sys.argv[0] = path
    code = tool.main()
    out = sys.argv[sys.argv.index('--json') + 1] if '--json' in sys.argv else None
    if out and os.path.exists(out):
        data = json.load(open(out))
        valid = [m for m in data['mutants'] if m['result'] != 'invalid']
        for m, cases in zip(valid, runs[1:]):
            m['cases'] = cases
        json.dump(data, open(out, 'w'), indent=1)
    return code


if __name__ == '__main__':
    if sys.argv[1:2] == ['--without']:
        ask(sys.argv[2], sys.argv[3:])
    else:
        sys.exit(run_tool())
