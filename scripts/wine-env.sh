# Sourced: the environment every Wine run of this project uses.
# A Chinese locale gives Wine the ANSI code page 936; the prefix lives in the build tree.
_here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export LC_ALL=zh_CN.UTF-8
export WINEDEBUG=-all
export WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="${WINEPREFIX:-$_here/build/wineprefix}"
unset _here
