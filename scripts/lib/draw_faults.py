#!/usr/bin/env python3
"""Draws a seeded random sample of faults planted in the program's code, as patches.

For each layer, a file is drawn with a weight of its lines of code, then a line of it; where no
fault applies to that line (a declaration, a comment, a line without a comparison, condition or
call) another file and line are drawn. The fault is one of those that apply to the line, drawn
too: a comparison flipped or made off by one, a condition negated, && and || swapped, a constant
off by one, a returned truth value inverted, a call dropped.

  draw_faults.py SEED PER_LAYER OUT_DIR [SKIP...]

writes OUT_DIR/NN.patch (the fault as a patch of the committed tree, read from git: a change
in the working tree, such as a fault being run, is neither read nor touched) and
OUT_DIR/faults.tsv (number, layer, file, line, kind, the line before and after). SKIP names
drawn faults to draw again (NN, for a fault that does not build or changes nothing; named
twice, drawn a third time): each fault has its own random sequence, so that every other fault
stays the one drawn before.
"""
import difflib
import random
import re
import subprocess
import sys
from pathlib import Path

# The layers and their folders, in the order they are drawn.
LAYERS = [
    ("com", ["platform/com"]),
    ("win", ["platform/win"]),
    ("dshow", ["platform/dshow"]),
    ("filters", ["platform/filters"]),
    ("devices", ["platform/devices"]),
    ("components", ["src/components"]),
    ("engine", ["src/engine", "src/toolkit"]),
    ("app", ["src/app"]),
]

COMPARISON_FLIPS = {" == ": " != ", " != ": " == ", " < ": " <= ", " <= ": " < ",
                    " > ": " >= ", " >= ": " > "}


def masked(line):
    """The line with string and character literals blanked and any // comment cut, same length."""
    out = []
    i, n = 0, len(line)
    while i < n:
        c = line[i]
        if line.startswith("//", i):
            out.append(" " * (n - i))
            break
        if c in "\"'":
            j = i + 1
            while j < n and line[j] != c:
                j += 2 if line[j] == "\\" else 1
            out.append(c + "_" * (min(j, n) - i - 1) + (c if j < n else ""))
            i = j + 1
            continue
        out.append(c)
        i += 1
    return "".join(out)[:n]


def condition_span(code):
    """The span of the whole condition of an if or while that opens and closes on this line."""
    m = re.search(r"\b(if|while) \(", code)
    if not m:
        return None
    start = m.end()
    depth = 1
    for i in range(start, len(code)):
        if code[i] == "(":
            depth += 1
        elif code[i] == ")":
            depth -= 1
            if depth == 0:
                return (start, i)
    return None


DROPPABLE_CALL = re.compile(r"^\s*[A-Za-z_][\w:]*(?:(?:\.|->)[A-Za-z_]\w*)*\(.*\);\s*$")
NOT_A_CALL = re.compile(r"^\s*(return|delete|throw|case|goto|co_return|static_assert)\b")


def faults_of(line, previous):
    """Every (kind, changed line) that applies to the line, the one before it given."""
    code = masked(line)
    stripped = code.strip()
    if not stripped or stripped.startswith("#") or stripped.startswith("*"):
        return []
    found = []
    for op, flipped in COMPARISON_FLIPS.items():
        # Spaced on both sides: neither a template's brackets nor a shift.
        for m in re.finditer(re.escape(op), code):
            found.append(("comparison", line[:m.start()] + flipped + line[m.end():]))
    for op, other in ((" && ", " || "), (" || ", " && ")):
        for m in re.finditer(re.escape(op), code):
            found.append(("and-or", line[:m.start()] + other + line[m.end():]))
    span = condition_span(code)
    # Not a condition that declares or assigns: negated, it would no longer build.
    if span and not re.search(r"[^=!<>]=[^=]|;", code[span[0]:span[1]]):
        a, b = span
        found.append(("negated", line[:a] + "!(" + line[a:b] + ")" + line[b:]))
    for m in re.finditer(r"(?<![\w.])([0-9]+)(?![\w.'])", code):
        if code[:m.start()].rstrip().endswith(("[", "case")) or re.search(r"\)[\w ]*= 0;", code):
            continue
        value = int(m.group(1))
        found.append(("constant", line[:m.start()] + str(value + 1) + line[m.end():]))
    for truth, other in (("return true;", "return false;"), ("return false;", "return true;")):
        at = code.find(truth)
        if at >= 0:
            found.append(("result", line[:at] + other + line[at + len(truth):]))
    # A call that is a whole statement of its own (the line before ended one or opened a block).
    before = masked(previous).strip()
    whole = not before or before.endswith((";", "{", "}", ":"))
    if whole and DROPPABLE_CALL.match(code) and not NOT_A_CALL.match(code) and " = " not in code:
        indent = line[:len(line) - len(line.lstrip())]
        found.append(("dropped-call", indent + ";"))
    return found


def code_files(folders):
    files = []
    for folder in folders:
        listed = subprocess.run(["git", "ls-tree", "-r", "--name-only", "HEAD", "--", folder],
                                capture_output=True, text=True, check=True).stdout.splitlines()
        files += sorted(Path(p) for p in listed if Path(p).suffix in (".cpp", ".h"))
    return files


def committed_text(path):
    return subprocess.run(["git", "show", f"HEAD:{path}"], capture_output=True, text=True,
                          check=True).stdout


def main():
    seed, per_layer, out = int(sys.argv[1]), int(sys.argv[2]), Path(sys.argv[3])
    skips = sys.argv[4:]
    out.mkdir(parents=True, exist_ok=True)
    rows = []
    number = 0
    for layer, folders in LAYERS:
        files = code_files(folders)
        weights = [len([l for l in committed_text(f).splitlines() if l.strip()]) for f in files]
        for _ in range(per_layer):
            number += 1
            name = f"{number:02d}"
            # Each fault draws from its own sequence: drawing one again leaves the others.
            rng = random.Random(f"{seed}/{name}")
            passes = skips.count(name)
            while True:
                path = rng.choices(files, weights)[0]
                lines = committed_text(path).splitlines(keepends=True)
                index = rng.randrange(len(lines))
                text = lines[index].rstrip("\n")
                faults = faults_of(text, lines[index - 1] if index else "")
                if not faults:
                    continue
                kind, changed = rng.choice(faults)
                if passes == 0:
                    break
                passes -= 1
            planted = lines[:index] + [changed + "\n"] + lines[index + 1:]
            diff = difflib.unified_diff(lines, planted, f"a/{path}", f"b/{path}")
            (out / f"{name}.patch").write_text("".join(diff))
            rows.append("\t".join([name, layer, str(path), str(index + 1), kind, text.strip(),
                                   changed.strip()]))
    (out / "faults.tsv").write_text("\n".join(rows) + "\n")


if __name__ == "__main__":
    main()
