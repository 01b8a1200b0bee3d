#!/usr/bin/env python3
"""The mutants tool as it stands, with each test run's failing QTest cases kept: runs
../shared/tools/mutants with the same arguments and adds to its --json result, per killed
mutant, `cases`: the FAIL! lines (Suite::function(row)) ctest's output showed; a run the tool
stops as a whole has none. Each run's cases are printed too, before the tool's line for it.
Usage: cases.py MUTANTS-ARGUMENTS...   (MUTANTS_TOOL names the tool; default ../shared/tools/mutants)"""
import importlib.machinery, importlib.util, json, os, re, sys

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
        runs.append(sorted(set(re.findall(r'^FAIL!\s*:\s*(\w+::\w+\(.*?\))(?=\s|$)', out,
                                          re.M))))
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
sys.exit(code)
