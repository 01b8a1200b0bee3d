#!/usr/bin/env python3
"""Which lines of the program each QTest case runs, from a build made with --coverage.

Run: casecover.py BUILD OUT.json [SUITE-REGEX]  runs every case of every QTest suite ctest
knows in BUILD (or those whose name matches the regex), one case a process, and writes
{"Suite::case": {"passed": bool, "lines": ["path:line", ...]}} for the lines of src/,
components/, stats/ and common/ that the case and every process it started ran.
PostgreSQL must be up in the same shell for the suites that use it.
Ask: casecover.py --unique OUT.json [CASE-REGEX]  prints, per case, the lines no other case
runs: the code whose faults only that case can see.
Pick: casecover.py --thin OUT.json SITES.txt N CASE...  prints, for each Suite::case, N mutation
sites (SITES.txt: `mutants --list` over the code) on the lines the fewest other cases run, two
at most a file, with the suites that run each line: where to look for a fault only it notices.

A case that runs no line another case does not run, and kills no sampled mutant alone, has
only its assertions left to show for itself: a sample over the lines it runs answers that."""
import collections, glob, json, os, re, subprocess, sys

CODE = re.compile(r'^(src|components|stats|common)/')


def covered_lines(build, root):
    """The executed lines the .gcda files under BUILD record, as 'path:line' from ROOT."""
    lines = set()
    by_dir = collections.defaultdict(list)
    for gcda in glob.glob(f'{build}/**/*.gcda', recursive=True):
        by_dir[os.path.dirname(gcda)].append(gcda)
    for folder, files in by_dir.items():
        out = subprocess.run(['gcov', '--json-format', '--stdout', '-o', folder] + files,
                             capture_output=True, text=True, cwd=root).stdout
        for doc in out.splitlines():
            if not doc.startswith('{'):
                continue
            for f in json.loads(doc)['files']:
                path = os.path.relpath(os.path.join(root, f['file']), root)
                if not CODE.match(path):
                    continue
                lines.update(f"{path}:{l['line_number']}" for l in f['lines'] if l['count'])
    return lines


def suites(build, pattern):
    info = json.loads(subprocess.check_output(['ctest', '--show-only=json-v1'], cwd=build))
    for test in info['tests']:
        if pattern and not re.search(pattern, test['name']):
            continue
        env = dict(os.environ)
        for prop in test.get('properties', []):
            if prop['name'] == 'ENVIRONMENT':
                env.update(v.split('=', 1) for v in prop['value'])
        command = test['command']
        listed = subprocess.run(command + ['-functions'], capture_output=True, text=True,
                                env=env, cwd=build, timeout=60).stdout
        cases = [l[:-2] for l in listed.splitlines() if l.endswith('()')]
        if cases:
            yield test['name'], command, env, cases


def collect(build, out, pattern):
    root = os.getcwd()
    result = json.load(open(out)) if os.path.exists(out) else {}
    for name, command, env, cases in suites(build, pattern):
        for case in cases:
            key = f'{name}::{case}'
            if key in result:
                continue
            for gcda in glob.glob(f'{build}/**/*.gcda', recursive=True):
                os.remove(gcda)
            try:
                run = subprocess.run(command + [case], env=env, cwd=build, timeout=300,
                                     capture_output=True)
                passed = run.returncode == 0
            except subprocess.TimeoutExpired:
                passed = False
            lines = covered_lines(build, root)
            result[key] = {'passed': passed, 'lines': sorted(lines)}
            print(f'{key}: {"pass" if passed else "FAIL"}, {len(lines)} lines', flush=True)
            json.dump(result, open(out, 'w'))


def unique(out, pattern):
    result = json.load(open(out))
    runs = collections.Counter(l for r in result.values() for l in r['lines'])
    for key, r in sorted(result.items()):
        if pattern and not re.search(pattern, key):
            continue
        only = [l for l in r['lines'] if runs[l] == 1]
        print(f'{len(only):5}  {key}  {" ".join(only[:12])}{" ..." if len(only) > 12 else ""}')


def thin(out, sites_file, count, cases):
    result = json.load(open(out))
    runners = collections.defaultdict(set)
    for key, r in result.items():
        for line in r['lines']:
            runners[line].add(key)
    sites = collections.defaultdict(list)
    for text in open(sites_file):
        m = re.match(r'\s*(\S+?):(\d+):(\d+) ', text)
        if m:
            sites[f'{m[1]}:{m[2]}'].append(f'{m[1]}:{m[2]}:{m[3]}')
    for case in cases:
        lines = sorted((l for l in result[case]['lines'] if l in sites),
                       key=lambda l: (len(runners[l]), l))
        per_file = collections.Counter()
        for line in lines:
            path = line.rsplit(':', 1)[0]
            if per_file[path] == 2:
                continue
            per_file[path] += 1
            suites = sorted({r.split('::')[0] for r in runners[line]})
            print(case, sites[line][0], len(runners[line]), ' '.join(suites))
            if sum(per_file.values()) == count:
                break


if __name__ == '__main__':
    if sys.argv[1] == '--thin':
        thin(sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5:])
    elif sys.argv[1] == '--unique':
        unique(sys.argv[2], sys.argv[3] if len(sys.argv) > 3 else '')
    else:
        collect(sys.argv[1], sys.argv[2], sys.argv[3] if len(sys.argv) > 3 else '')
