#!/bin/sh
# Runs one Windows program of the cross build under Wine:
#   wine-run.sh PREFIX PROGRAM.exe [ARGS...]
# The Wine prefix lives inside the build tree; the first run creates it, under
# a lock so that tests started in parallel do not race to create it.
set -e
prefix=$(realpath -m "$1") # Wine wants it absolute
shift
export WINEPREFIX="$prefix" WINEDEBUG=-all
loader=/usr/lib/wine/wine64
[ -x "$loader" ] || loader=$(command -v wine64 || command -v wine)
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$(dirname "$prefix")"
  flock "$prefix.lock" sh -c "[ -f '$prefix/system.reg' ] || '$loader' wineboot --init >/dev/null 2>&1; '$loader'server -w 2>/dev/null || wineserver -w 2>/dev/null || true"
fi
exec "$loader" "$@"
