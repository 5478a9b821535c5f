#!/usr/bin/env bash
# Where the launcher's bytes go: builds the win32 setupTQ.exe (its stub is linked with a map
# beside it, setupTQ.exe.map) and prints, from that map, the bytes each of our
# libraries and each runtime archive puts into the file, then the stripped size of
# setupTQ.exe without its payload against the target.
#   bash bench/size.sh [--top N]     (--top: also list the N largest input objects)
# Without the payload means the stub (bin/stub/setupTQ.exe): the launcher before `setupkit
# attach` puts the packed archive in as its DAT/BRENLOW resource; the other resources count.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
top=0
[ "${1:-}" = "--top" ] && top=${2:-20}

cmake --preset win32 >/dev/null
cmake --build --preset win32 --target setupTQ_stub >/dev/null
launcher=build/win32/bin/stub/setupTQ.exe
map=$launcher.map
# The object files CMake archives into objects.a for the link, with the folders they come from.
objects=$(find build/win32 -path '*CMakeFiles/setupTQ_stub.dir/objects1*' | head -1)
[ -f "$map" ] || { echo "size.sh: no link map $map" >&2; exit 1; }

# The launcher is linked with link-time optimisation, which merges our libraries into one
# object. For the bytes of each library, link the same (fat) objects once more without it.
linkdir=$(dirname "$(dirname "$(dirname "$objects")")")
plain=$PWD/build/win32/size
mkdir -p "$plain"
(cd "$linkdir" && eval "$(tail -1 CMakeFiles/setupTQ_stub.dir/link.txt | sed -E \
  -e 's/ -flto-partition=one//g' -e 's/ -flto / -fno-lto /g' -e "s#-Wl,-Map=%.map#-Wl,-Map=$plain/setupTQ.exe.map#" \
  -e "s# -o [^ ]+ # -o $plain/setupTQ.exe #" -e "s#--out-implib,[^ ]+#--out-implib,$plain/libsetupTQ.dll.a#")")

python3 - "$map" "$plain/setupTQ.exe.map" "$objects" "$launcher" "$top" <<'PY'
import collections, os, re, sys
map_path, plain_map_path, objects_path, exe, top = sys.argv[1:6]
top = int(top)

# objects.a(member) -> the CMake target folder (NAME.dir) the object was compiled in.
member_owner = {}
for path in open(objects_path).read().split():
    m = re.search(r"([^/]+)\.dir/", path)
    member_owner[os.path.basename(path)] = m.group(1) if m else "?"

def owner(path):
    if re.search(r"\.ltrans\d*\.ltrans\.o$", path):
        return "our code (LTO)"
    m = re.search(r"objects\.a\((.+)\)$", path)
    if m:
        name = member_owner.get(m.group(1), "?")
        return "resources" if m.group(1).endswith(".res") else name
    m = re.search(r"lib([^/]+)\.a\(", path)
    if m:
        return m.group(1)
    if path.endswith(".o"):
        return "crt objects"
    return "linker"

COLUMNS = [(".text", "code"), (".rdata", "rdata"), (".data", "data"), (".eh_frame", "unwind"),
           (".idata", "imports"), (".rsrc", "rsrc")]
IN_FILE = {c for c, _ in COLUMNS} | {".CRT", ".tls", ".pdata"}

def read_map(path):
    """Bytes per owner and output section, and per input object, of the sections in the file."""
    sizes = collections.defaultdict(collections.Counter)
    by_object = collections.Counter()
    section, pending, in_map = None, None, False
    entry = re.compile(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")
    for line in open(path, errors="replace"):
        line = line.rstrip("\n")
        if not in_map:
            in_map = line.startswith("Linker script and memory map")
            continue
        if re.match(r"^\.\S+", line):  # an output section
            section = line.split()[0]
            continue
        if line.startswith(" *fill*"):
            m = re.match(r"^ \*fill\*\s+0x[0-9a-f]+\s+0x([0-9a-f]+)", line)
            if m and section in IN_FILE:
                sizes["alignment"][section] += int(m.group(1), 16)
            continue
        m = re.match(r"^ (\S+)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$", line)
        if m:
            _, _, size, obj = m.groups()
        elif re.match(r"^ [.A-Z]\S*$", line):  # a long input section name; numbers follow
            pending = line
            continue
        elif pending and entry.match(line):
            _, size, obj = entry.match(line).groups()
        else:
            pending = None
            continue
        pending = None
        if section not in IN_FILE or obj.startswith("0x"):
            continue
        n = int(size, 16)
        sizes[owner(obj)][section] += n
        by_object[re.sub(r"^.*/", "", obj)] += n
    return sizes, by_object

def kb(n):
    return "%7.1f" % (n / 1024)

def print_table(sizes, only=None):
    print("%-22s %7s %7s %7s %7s %7s %7s %8s" % (("KB",) + tuple(h for _, h in COLUMNS) + ("total",)))
    grand = collections.Counter()
    for name, c in sorted(sizes.items(), key=lambda kv: -sum(kv[1].values())):
        if only and not only(name):
            continue
        grand.update(c)
        print("%-22s %s %s" % (name, " ".join(kb(c[s]) for s, _ in COLUMNS), kb(sum(c.values())).rjust(8)))
    print("%-22s %s %s" % ("sum", " ".join(kb(grand[s]) for s, _ in COLUMNS), kb(sum(grand.values())).rjust(8)))
    return grand

sizes, by_object = read_map(map_path)
print("== setupTQ.exe as built (link-time optimised)")
print_table(sizes)
plain, plain_objects = read_map(plain_map_path)
print()
print("== our libraries in the same link without link-time optimisation")
ours = lambda name: name.startswith("st_") or name.startswith("setupTQ")
before = print_table(plain, ours)
after = sum(sizes.get("our code (LTO)", collections.Counter()).values())
print("link-time optimisation: our code %.1f KB -> %.1f KB" % (sum(before.values()) / 1024, after / 1024))

size = os.path.getsize(exe)
# With TLS, the proxy's resolver and both IP families in it, all taken from the system.
target = 400 * 1024
print()
print("stub, the launcher without its payload (stripped): %d bytes = %.1f KB; target at most 400 KB: %s" %
      (size, size / 1024, "met" if size <= target else "%.1f KB over" % ((size - target) / 1024)))
# The line bench/all.sh collects.
print("RESULT size %d - KB <=400 setupTQ.exe without its payload (stripped)" % ((size + 1023) // 1024))
if top:
    print()
    print("largest input objects without link-time optimisation (KB):")
    for name, n in plain_objects.most_common(top):
        print("  %s %s" % (kb(n), name))
PY
