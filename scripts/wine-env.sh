# Sourced: the environment every Wine run of this project uses.
# A Chinese locale gives Wine the ANSI code page 936; SETUPTQ_WINE_LOCALE runs a program as on
# Windows in another language (en_US.UTF-8: 1252, ja_JP.UTF-8: 932, zh_TW.UTF-8: 950). Wine
# takes the code page from each process's own locale, so one prefix serves them all. The
# prefix lives in the build tree.
_here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export LC_ALL="${SETUPTQ_WINE_LOCALE:-zh_CN.UTF-8}"
export WINEDEBUG=-all
export WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="${WINEPREFIX:-$_here/build/wineprefix}"
unset _here
