#!/usr/bin/env bash
# A DLL planted beside the program must not be loaded once the DLL search is restricted.
# Control first: without the restriction the same load takes the planted DLL, so that
# "refused" below means something.
#   bash tests/e2e/dll_planting.sh DLLSEARCH_EXE PLANTED_DLL
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
probe=$1 planted=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$probe" "$work/dllsearch.exe"
cp "$planted" "$work/tqplanted.dll"
run() { (cd "$work" && "$here/scripts/wine-run.sh" dllsearch.exe "$@" 2>/dev/null | tr -d '\r') || true; }

plain=$(run plain tqplanted.dll)
case "$plain" in
  loaded*) ;;
  *) echo "dll_planting: control failed: without the restriction the planted DLL was not loaded ($plain)"; exit 1 ;;
esac
[ -f "$work/PLANTED-LOADED.txt" ] || { echo "dll_planting: control failed: no marker"; exit 1; }
rm -f "$work/PLANTED-LOADED.txt"

hard=$(run hardened tqplanted.dll)
[ "$hard" = refused ] || { echo "dll_planting: FAIL: the planted DLL was loaded after the restriction ($hard)"; exit 1; }
[ ! -f "$work/PLANTED-LOADED.txt" ] || { echo "dll_planting: FAIL: the planted DLL ran"; exit 1; }

# A system DLL is still found in the system folder.
sys=$(run hardened version.dll)
case "$sys" in
  loaded*) ;;
  *) echo "dll_planting: FAIL: a system DLL could not be loaded after the restriction ($sys)"; exit 1 ;;
esac
echo "dll_planting: PASS (control: $plain; restricted: $hard; system DLL: $sys)"
