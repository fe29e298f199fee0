#!/usr/bin/env python3
"""Reads the line counts that a coverage build's tests left (gcov's .gcda files) and prints, for
each layer of platform/ and src/, its lines of code that compiled to something and how many of
them no test ran; then the files with the most such lines.

A fault on a line that no test runs is never caught, whatever the tests assert: the share of
lines not run is a floor under the share of faults the tests miss.

    line_coverage.py CHECKOUT BUILD [FILES]   FILES: how many files to list (default 15)
"""
import collections
import json
import os
import subprocess
import sys


def line_counts(top, build):
    """{file under platform/ or src/: {line: times run}}, summed over every object file."""
    counts = collections.defaultdict(dict)
    for folder, _, names in os.walk(build):
        if os.path.sep + "tests" in folder:
            continue
        for name in names:
            if not name.endswith(".gcda"):
                continue
            report = subprocess.run(
                ["gcov", "--json-format", "--stdout", "-o", folder, os.path.join(folder, name)],
                capture_output=True, cwd=build, check=False).stdout.decode(errors="replace")
            for line in report.splitlines():
                try:
                    data = json.loads(line)
                except ValueError:
                    continue
                for entry in data.get("files", []):
                    path = os.path.normpath(os.path.join(build, entry["file"]))
                    relative = os.path.relpath(path, top)
                    if relative.split(os.path.sep)[0] not in ("platform", "src"):
                        continue
                    lines = counts[relative]
                    for record in entry["lines"]:
                        number = record["line_number"]
                        lines[number] = lines.get(number, 0) + record["count"]
    return counts


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    top, build = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    files = int(sys.argv[3]) if len(sys.argv) > 3 else 15
    counts = line_counts(top, build)
    if not counts:
        sys.exit("no line counts under " + build + ": run the tests of a coverage build first")
    layers = collections.defaultdict(lambda: [0, 0])
    for path, lines in counts.items():
        layer = layers[path.split(os.path.sep)[1]]
        layer[0] += len(lines)
        layer[1] += sum(1 for times in lines.values() if times == 0)
    print("| layer | lines | not run | share |\n|---|---|---|---|")
    total = [0, 0]
    for name, (lines, idle) in sorted(layers.items()):
        print(f"| {name} | {lines} | {idle} | {100 * idle / lines:.1f} % |")
        total = [total[0] + lines, total[1] + idle]
    print(f"| all | {total[0]} | {total[1]} | {100 * total[1] / total[0]:.1f} % |")
    print("\nThe files with the most lines no test runs:")
    ranked = sorted(((sum(1 for t in lines.values() if t == 0), len(lines), path)
                     for path, lines in counts.items()), reverse=True)
    for idle, lines, path in ranked[:files]:
        print(f"  {idle:4} of {lines:4}  {path}")


if __name__ == "__main__":
    main()
