#!/usr/bin/env bash
# The main job: builds keywatch for Linux and Windows, flies the demo session
# (examples/demo-flight.txt) through the stand-in simulator with the Linux
# module and with the Windows DLL under Wine, and builds the release zip.
# Installs what it lacks. Prints where the logs, the face picture and the zip
# are, writes keywatch-log's HTML report of the flight (out/demo/report.html),
# and ends with keywatch-log's summary of the flight's log.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
scripts/install-deps.sh

for preset in native windows; do
  echo "=== building $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" | tail -n 1
done
echo "=== packaging"
cmake --build build/windows --target package | grep -E 'package:|generated' || true

out="$repo/out/demo"
rm -rf "$out"
mkdir -p "$out/linux" "$out/windows"
# The demo as written, then one more frame to draw the face picture.
script() { cat "$repo/examples/demo-flight.txt"; printf '\n# the face, as the flight ends\nframe\nface face.png\n'; }

echo "=== the demo flight, Linux module ($out/linux)"
(cd "$out/linux" && script | "$repo/build/native/keywatch-sim" -)
echo "=== the same flight, Windows DLL under Wine ($out/windows)"
(cd "$out/windows" && script | "$repo/cmake/wine-run.sh" "$repo/build/windows/wineprefix" \
  "$repo/build/windows/keywatch-sim.exe" - >/dev/null)

# The report names the log as it was given: run beside it, the page says
# Key_Events_Sent.log rather than this machine's folders.
(cd "$out/linux" && "$repo/build/native/keywatch-log" report Key_Events_Sent.log -o "$out/report.html")

echo
echo "Log (Linux module):    $out/linux/Key_Events_Sent.log"
echo "Log (Windows DLL):     $out/windows/Key_Events_Sent.log"
echo "Face picture:          $out/linux/face.png"
echo "Report (HTML page):    $out/report.html"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$repo/build/windows/CMakeCache.txt")
echo "Release zip:           $repo/build/windows/keywatch-$version-win64.zip"
echo
echo "--- first lines of the log ---"
head -n 12 "$out/linux/Key_Events_Sent.log" | tr -d '\r'
echo
echo "--- keywatch-log summary (the Windows DLL's log, read by keywatch-log.exe under Wine) ---"
(cd "$out/windows" && "$repo/cmake/wine-run.sh" "$repo/build/windows/wineprefix" \
  "$repo/build/windows/keywatch-log.exe" summary Key_Events_Sent.log | tr -d '\r')
