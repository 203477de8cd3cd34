#!/bin/sh
# Runs a cross-built Windows program under Wine, quietly, finding the MinGW
# runtime DLLs. The Wine prefix is the caller's, or one of the build's own.
gcc_dll_dir=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
export WINEPATH="/usr/x86_64-w64-mingw32/lib;$gcc_dll_dir${WINEPATH:+;$WINEPATH}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEPREFIX="${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/varnel/wineprefix}"

# Debian's wineserver quits the moment its last program ends, so programs run
# one after another (a test suite) would each start and tear down a session:
# one started during a teardown fails at once, and the session's own programs
# keep the output of the one that started them open until the session ends.
# A server that waits 30 s instead, whose session is brought up here with no
# caller's output, serves them all. The lock lets one caller bring it up.
mkdir -p "$(dirname "$WINEPREFIX")"
{
  flock 9
  # Neither may inherit the lock, or it would be held for the session.
  if wineserver -p30 </dev/null >/dev/null 2>&1 9>&-; then
    wine wineboot </dev/null >/dev/null 2>&1 9>&- || true
  fi
} 9>"$WINEPREFIX.start.lock"
exec wine "$@"
