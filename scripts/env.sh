# Shared settings for the project's scripts; sourced, not run.
KESTREL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export KESTREL_ROOT
export KESTREL_NATIVE_BUILD="$KESTREL_ROOT/build/native"
export KESTREL_DIST="$KESTREL_ROOT/dist"
# The NSIS targets, each built in build/<target>; KESTREL_TARGETS picks the ones that
# scripts/build and scripts/test handle (all three by default).
KESTREL_ALL_TARGETS="x86-ansi x86-unicode amd64-unicode"
export KESTREL_TARGETS="${KESTREL_TARGETS:-$KESTREL_ALL_TARGETS}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# A fixed locale, so that Wine's ANSI code page is known (1252).
export LANG=C.UTF-8 LC_ALL=C.UTF-8
export PYTHON=/usr/bin/python3

kestrel_is_target() {
  case " $KESTREL_ALL_TARGETS " in *" $1 "*) return 0 ;; *) return 1 ;; esac
}

kestrel_build_dir() {
  echo "$KESTREL_ROOT/build/$1"
}

# Points Wine at the target's own prefix, build/wine-<target>: 32-bit for the x86
# targets, 64-bit for amd64, created on first use. WINEARCH matters then, since with
# wine64 installed a new prefix would otherwise be 64-bit.
use_target() {
  case "$1" in
    amd64-*) export WINEARCH=win64 ;;
    *) export WINEARCH=win32 ;;
  esac
  export WINEPREFIX="$KESTREL_ROOT/build/wine-$1" KESTREL_TARGET="$1"
}
use_target x86-ansi

# Starts a Wine server for the prefix, creating the prefix first if needed. WinINet under
# Wine takes http_proxy from the environment when the prefix names no proxy, and the
# plug-in sends nothing under DO_NOT_TRACK: the tests choose both themselves.
wine_up() {
  unset http_proxy HTTP_PROXY https_proxy HTTPS_PROXY DO_NOT_TRACK
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
  wineserver -p 2>/dev/null || true  # already running is fine
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

# Ends every Wine process of the prefix and waits until they are gone.
wine_down() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
}
