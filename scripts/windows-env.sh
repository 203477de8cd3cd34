# What the Windows scripts share. Sourced.
. "$(dirname "${BASH_SOURCE[0]}")/packages.sh"
# The cross-built libraries live outside the clone, so a fresh clone reuses them.
export VARNEL_WINDOWS_DEPS="${VARNEL_WINDOWS_DEPS:-${XDG_CACHE_HOME:-$HOME/.cache}/varnel/windows-deps}"
