#!/usr/bin/env bash
# Retakes docs/report.png, the picture of keywatch-log's report that the
# README and the user guide show: the page of examples/half-hour-flight.log
# in headless Chromium, light mode, 1200 pixels wide. Build the native
# preset first.
#
#   scripts/report-screenshot.sh          the picture, from the kept log
#   scripts/report-screenshot.sh --play   first plays examples/half-hour-flight.scenario
#                                         again (about a minute: the clock runs
#                                         30 times as fast, through faketime) and
#                                         keeps its log, the module's path set to
#                                         that of an installed add-on package
#
# Chromium gets a home folder and a profile of its own in a temporary folder:
# it writes under $HOME even when given a profile folder.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
log=$repo/examples/half-hour-flight.log
native=$repo/build/native
[ -x "$native/keywatch-log" ] ||
  { echo "report-screenshot: no $native/keywatch-log; build the native preset first" >&2; exit 1; }
chromium=$(command -v chromium || command -v chromium-browser) ||
  { echo "report-screenshot: no chromium; run scripts/install-deps.sh" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ "${1:-}" = --play ]; then
  command -v faketime >/dev/null ||
    { echo "report-screenshot: no faketime; run scripts/install-deps.sh" >&2; exit 1; }
  echo "playing examples/half-hour-flight.scenario (about a minute)"
  faketime -f '+0 x30' "$native/keywatch-sim" --dir "$work/flight" \
    "$repo/examples/half-hour-flight.scenario" >/dev/null
  # The module's path, as an installed package has it, in place of this
  # build's.
  python3 - "$work/flight/Key_Events_Sent.log" "$log" <<'PY'
import re, sys
installed = rb"C:\Users\pilot\Documents\Prepar3D v4 Add-ons\keywatch-4.0.2-win64\Gauges\keywatch_x64.dll"
text = open(sys.argv[1], "rb").read()
text = re.sub(rb"(Gauge (?:Loaded|Refreshed)= )[^\r\n]*", lambda m: m.group(1) + installed, text)
open(sys.argv[2], "wb").write(text)
PY
  echo "wrote $log"
fi

# Run beside the log, so that the page names it without this machine's folders.
(cd "$repo/examples" && "$native/keywatch-log" report half-hour-flight.log -o "$work/report.html")
mkdir "$work/home" "$work/profile"
HOME=$work/home "$chromium" --headless --no-sandbox --disable-gpu --hide-scrollbars \
  --no-first-run --user-data-dir="$work/profile" --window-size=1200,1760 \
  --screenshot="$repo/docs/report.png" "file://$work/report.html" >/dev/null 2>&1
echo "wrote $repo/docs/report.png"
