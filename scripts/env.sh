# Shared settings for the project's scripts; sourced, not run.
KESTREL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export KESTREL_ROOT
export KESTREL_WINDOWS_BUILD="$KESTREL_ROOT/build/windows"
export KESTREL_NATIVE_BUILD="$KESTREL_ROOT/build/native"
export KESTREL_DIST="$KESTREL_ROOT/dist"
# One Wine prefix for every test and the demo; created on first use.
export WINEPREFIX="$KESTREL_ROOT/build/wine"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# A fixed locale, so that Wine's ANSI code page is known (1252).
export LANG=C.UTF-8 LC_ALL=C.UTF-8
export PYTHON=/usr/bin/python3

# Starts a Wine server for the prefix, creating the prefix first if needed.
wine_up() {
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
