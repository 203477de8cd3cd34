#!/bin/sh
# Runs a cross-built Windows program under Wine, quietly, finding the MinGW
# runtime DLLs. The Wine prefix is the caller's, or one of the build's own.
gcc_dll_dir=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
export WINEPATH="/usr/x86_64-w64-mingw32/lib;$gcc_dll_dir${WINEPATH:+;$WINEPATH}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEPREFIX="${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/varnel/wineprefix}"
exec wine "$@"
