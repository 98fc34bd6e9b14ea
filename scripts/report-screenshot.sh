#!/usr/bin/env bash
# Retakes docs/report.png, the picture of keywatch-log's report that the
# README and the user guide show, from the page scripts/demo.sh writes
# (out/demo/report.html): headless Chromium, light mode, 1200 pixels wide,
# cut where the page's content ends. Run scripts/demo.sh first.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
page=$repo/out/demo/report.html
[ -f "$page" ] || { echo "report-screenshot: no $page; run scripts/demo.sh first" >&2; exit 1; }
chromium=$(command -v chromium || command -v chromium-browser) ||
  { echo "report-screenshot: no chromium; run scripts/install-deps.sh" >&2; exit 1; }
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
"$chromium" --headless --no-sandbox --disable-gpu --hide-scrollbars --user-data-dir="$profile" \
  --window-size=1200,1760 \
  --screenshot="$repo/docs/report.png" "file://$page" 2>/dev/null
echo "wrote $repo/docs/report.png"
