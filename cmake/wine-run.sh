#!/bin/sh
# Runs a Windows program under Wine with a throwaway prefix in the build
# folder. The first caller creates the prefix; others wait for it.
set -e
: "${FAULTKIT_WINEPREFIX:=${TMPDIR:-/tmp}/faultkit-wineprefix-$(id -u)}"
export WINEPREFIX="$FAULTKIT_WINEPREFIX"
export WINEDEBUG=-all
mkdir -p "$WINEPREFIX"
(
  flock 9
  if [ ! -f "$WINEPREFIX/.faultkit-ready" ]; then
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
    touch "$WINEPREFIX/.faultkit-ready"
  fi
) 9>"$WINEPREFIX.lock"
exec wine "$@"
