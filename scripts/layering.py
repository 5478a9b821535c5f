#!/usr/bin/env python3
"""Holds the includes of src/ and tools/ to the layer table (src/layers.txt).

Every file belongs to exactly one row of the table; a file may include (#include "...") the
headers of its own row and of the rows its row uses, directly or through them. The rows must
form no cycle. Each fault is printed as FILE:LINE: reason; the exit code is 1 if there is any.

    layering.py [ROOT]        ROOT defaults to the project's root
"""
import os
import re
import sys

OS_NAMES = ("win32", "posix")
SCANNED = ("src", "tools")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def pattern_regex(pattern):
    """A table pattern as a regex: "*" stays within one folder, {os} is either OS."""
    out = ""
    for part in re.split(r"(\*|\{os\})", pattern):
        if part == "*":
            out += "[^/]*"
        elif part == "{os}":
            out += "(?:%s)" % "|".join(OS_NAMES)
        else:
            out += re.escape(part)
    return re.compile(out + "$")


def read_table(path):
    rows, faults = {}, []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            cols = [c.strip() for c in line.rstrip("\n").split("|")]
            where = "%s:%d" % (path, number)
            if len(cols) != 5:
                faults.append("%s: a row needs five columns separated by '|'" % where)
                continue
            name, _kind, files, public, private = cols
            if name in rows:
                faults.append("%s: row %s appears twice" % (where, name))
            rows[name] = {
                "where": where,
                "patterns": [pattern_regex(p) for p in files.split()],
                "uses": public.split() + private.split(),
            }
    return rows, faults


def closure(rows, faults):
    """The rows each row may use, directly or through others; reports cycles of the table."""
    reach, state = {}, {}

    def visit(name, path):
        if state.get(name) == "done":
            return reach[name]
        if state.get(name) == "visiting":
            cycle = path[path.index(name):] + [name]
            faults.append("%s: the rows form a cycle: %s" % (rows[name]["where"], " -> ".join(cycle)))
            return set()
        state[name] = "visiting"
        found = set()
        for used in rows[name]["uses"]:
            if used in rows:  # other names are outside libraries (zlib, system DLLs)
                found.add(used)
                found |= visit(used, path + [name])
        state[name] = "done"
        reach[name] = found
        return found

    for name in rows:
        visit(name, [])
    return reach


def owner_of(rel, rows):
    return [name for name, row in rows.items() if any(rx.match(rel) for rx in row["patterns"])]


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    table = os.path.join(root, "src", "layers.txt")
    rows, faults = read_table(table)
    reach = closure(rows, faults)

    files = []
    for top in SCANNED:
        for dirpath, _, names in os.walk(os.path.join(root, top)):
            for n in names:
                if n.endswith((".h", ".cpp", ".c")):
                    files.append(os.path.relpath(os.path.join(dirpath, n), root).replace(os.sep, "/"))
    owners = {}
    for rel in sorted(files):
        found = owner_of(rel, rows)
        if len(found) != 1:
            faults.append("%s:1: belongs to %s of the layer table" %
                          (rel, "no row" if not found else "several rows (%s)" % ", ".join(found)))
        else:
            owners[rel] = found[0]

    for rel, row in owners.items():
        folder = os.path.dirname(rel)
        with open(os.path.join(root, rel), encoding="utf-8", errors="replace") as f:
            for number, line in enumerate(f, 1):
                m = INCLUDE.match(line)
                if not m:
                    continue
                target = m.group(1)
                # A header is named from src/, or from the including file's own folder.
                candidates = [os.path.normpath(os.path.join(folder, target)).replace(os.sep, "/"),
                              "src/" + target]
                header = next((c for c in candidates if c in owners), None)
                if header is None:
                    faults.append('%s:%d: includes "%s", which is no file of src/ or tools/' % (rel, number, target))
                    continue
                used = owners[header]
                if used != row and used not in reach.get(row, set()):
                    faults.append('%s:%d: %s includes "%s" of %s, which %s does not use (src/layers.txt)' %
                                  (rel, number, row, target, used, row))
    for fault in faults:
        print(fault)
    if faults:
        print("layering: %d fault(s)" % len(faults))
        return 1
    print("layering: %d files of %d rows hold to src/layers.txt" % (len(owners), len(rows)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
