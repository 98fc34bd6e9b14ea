#!/bin/sh
# Runs one Windows program of the cross build under Wine:
#   wine-run.sh PREFIX PROGRAM.exe [ARGS...]
# The Wine prefix lives inside the build tree; the first run creates it, under
# a lock so that tests started in parallel do not race to create it.
#
# Wine points a new prefix's Documents folder at the real home folder. The
# module writes its log there when the working folder refuses it, so this
# prefix's Documents known folder is the variable KEYWATCH_DOCUMENTS
# instead (a registry value Windows expands for each process), by default
# documents/ beside the prefix: each test names a folder of its own, and no
# run reaches the home folder.
set -e
prefix=$(realpath -m "$1") # Wine wants it absolute
shift
export WINEPREFIX="$prefix" WINEDEBUG=-all
if [ -z "${KEYWATCH_DOCUMENTS:-}" ]; then
  KEYWATCH_DOCUMENTS=$(printf 'Z:%s/documents' "$(dirname "$prefix")" | tr / '\\')
  export KEYWATCH_DOCUMENTS
fi
loader=/usr/lib/wine/wine64
[ -x "$loader" ] || loader=$(command -v wine64 || command -v wine)
if [ ! -f "$prefix/keywatch-documents" ]; then
  mkdir -p "$(dirname "$prefix")"
  flock "$prefix.lock" sh -c "
    [ -f '$prefix/system.reg' ] || '$loader' wineboot --init >/dev/null 2>&1
    [ -f '$prefix/keywatch-documents' ] ||
      { '$loader' reg add 'HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders' \
          /v Personal /t REG_EXPAND_SZ /d '%KEYWATCH_DOCUMENTS%' /f >/dev/null 2>&1 &&
        touch '$prefix/keywatch-documents'; }
    '$loader'server -w 2>/dev/null || wineserver -w 2>/dev/null || true"
fi
exec "$loader" "$@"
