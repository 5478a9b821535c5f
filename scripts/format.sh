#!/usr/bin/env bash
# The house format (.clang-format) over every C and C++ file of src/, tools/, tests/, demo/ and
# bench/, with the one clang-format the set-up installs (clang-format-14), so that every machine
# formats alike. Test fixtures that are wrong on purpose (tests/format, tests/layering) are left out.
#   bash scripts/format.sh           formats the files in place
#   bash scripts/format.sh --check [ROOT]
#                                    names each file that differs (FILE: not formatted) and
#                                    exits 1 when any does; ROOT defaults to the project's root
set -euo pipefail
tool=clang-format-14
check=0
if [ "${1:-}" = --check ]; then check=1; shift; fi
root=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
cd "$root"
command -v $tool >/dev/null || { echo "format: $tool is not installed (bash scripts/setup.sh)" >&2; exit 2; }
mapfile -t files < <(find src tools tests demo bench -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) \
  -not -path 'tests/format/*' -not -path 'tests/layering/*' 2>/dev/null | LC_ALL=C sort)
if [ $check -eq 0 ]; then
  printf '%s\0' "${files[@]}" | xargs -0 $tool -i
  exit 0
fi
bad=0
for f in "${files[@]}"; do
  if ! $tool --dry-run -Werror "$f" >/dev/null 2>&1; then
    echo "$f: not formatted (bash scripts/format.sh)"
    bad=$((bad + 1))
  fi
done
echo "format: ${#files[@]} files, $bad not formatted"
[ $bad -eq 0 ]
