#!/usr/bin/env bash
# Builds the coverage preset (gcc --coverage, build-coverage/), runs the whole suite once and
# prints line and branch coverage per folder, then the functions no test reached, per folder.
# Branches count without those only an exception takes and those the compiler proved unreachable.
#   QUILLON_COVERAGE_TESTS=REGEX   run only the tests whose names match
#   QUILLON_COVERAGE_NO_BUILD=1    use the build as it is
# The full reports stay in build-coverage/coverage.json and build-coverage/coverage-summary.json.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-coverage
if [[ "${QUILLON_COVERAGE_NO_BUILD:-0}" != 1 ]]; then
    scripts/setup.sh
    scripts/build.sh coverage
fi
# Counts from an earlier run would add up with this one's.
find "$build" -name '*.gcda' -delete
tests_status=0
# The package tests are left out: programs built for coverage carry the paths of their count
# files, which the package check rightly refuses.
ctest --preset coverage -j2 -E '^package_' ${QUILLON_COVERAGE_TESTS:+-R "$QUILLON_COVERAGE_TESTS"} \
    >"$build/coverage-tests.txt" 2>&1 ||
    tests_status=$?
tail -n 3 "$build/coverage-tests.txt"
if [[ "$tests_status" != 0 ]]; then
    echo "coverage: some tests failed (see $build/coverage-tests.txt); the figures count what ran" >&2
    grep -E '^\s+[0-9]+ - ' "$build/coverage-tests.txt" >&2 || true
fi

gcovr --root . --object-directory "$build" \
    --filter 'core/' --filter 'link/' --filter 'tools/' --filter 'cli/' --filter 'ui/' --filter 'sim/' \
    --exclude-directories "$build/CMakeFiles" \
    --exclude-throw-branches --exclude-unreachable-branches \
    --json "$build/coverage.json" --json-summary "$build/coverage-summary.json" >"$build/gcovr.txt" 2>&1

python3 - "$build/coverage-summary.json" "$build/coverage.json" <<'EOF'
import json
import sys
from collections import defaultdict

summary = json.load(open(sys.argv[1]))
lines = defaultdict(lambda: [0, 0])
branches = defaultdict(lambda: [0, 0])
for f in summary["files"]:
    folder = f["filename"].split("/", 1)[0]
    lines[folder][0] += f["line_covered"]
    lines[folder][1] += f["line_total"]
    branches[folder][0] += f["branch_covered"]
    branches[folder][1] += f["branch_total"]

def pct(pair):
    return 100.0 * pair[0] / pair[1] if pair[1] else 100.0

print(f"{'folder':8} {'lines':>22} {'branches':>22}")
for folder in ["core", "link", "tools", "cli", "ui", "sim"]:
    if folder in lines:
        l, b = lines[folder], branches[folder]
        print(f"{folder:8} {pct(l):6.1f} % ({l[0]:5}/{l[1]:5})   {pct(b):6.1f} % ({b[0]:5}/{b[1]:5})")

# Functions never entered, by folder; gcovr lists each function with the line it starts on.
details = json.load(open(sys.argv[2]))
never = defaultdict(list)
for f in details["files"]:
    folder = f["file"].split("/", 1)[0]
    counts = defaultdict(int)
    first_line = {}
    for line in f.get("lines", []):
        name = line.get("function_name")
        if name:
            counts[name] += line.get("count", 0)
            first_line.setdefault(name, line["line_number"])
    for func in f.get("functions", []):
        if func.get("execution_count", 0) == 0:
            never[folder].append(f"{f['file']}:{func.get('lineno', '?')} {func['name']}")
    if not f.get("functions"):
        for name, count in counts.items():
            if count == 0:
                never[folder].append(f"{f['file']}:{first_line[name]} {name}")
print()
print("functions no test entered:")
for folder in ["core", "link", "tools", "cli", "ui"]:
    for entry in sorted(never.get(folder, [])):
        print("  " + entry)
EOF
exit "$tests_status"
