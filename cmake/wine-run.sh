#!/bin/sh
# Runs a Windows program under Wine with a throwaway prefix in the build
# folder. The first caller creates the prefix; others wait for it.
#
# Wine starts its server on demand and, as Debian configures it, stops it
# as soon as the last program ends; a program that connects while it stops
# fails at once ("recvmsg: Connection reset by peer"). Test programs come
# and go in parallel, so the first caller starts a server that stays 30
# seconds after the last program, and Wine's own background processes with
# it. Those are started here with no output of the caller's: they live as
# long as the server, and a test whose output they held would last as long.
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
  # Fails when a server is running already. Neither the server nor the
  # background processes may keep the lock's descriptor.
  if wineserver -p30 </dev/null >/dev/null 2>&1 9>&-; then
    wineboot </dev/null >/dev/null 2>&1 9>&- || true
  fi
) 9>"$WINEPREFIX.lock"
# A Windows program's own faults end it with an exception code. Now and
# then Wine itself dies by a signal as a program starts or ends, a few
# times in hundreds of runs; such a run is reported and made once more.
set +e
wine "$@"
status=$?
if [ "$status" -gt 128 ]; then
  echo "wine-run.sh: Wine died by signal $((status - 128)); running $1 once more" >&2
  exec wine "$@"
fi
exit "$status"
