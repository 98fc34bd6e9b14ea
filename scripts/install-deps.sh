#!/usr/bin/env bash
# Installs, through apt-get, whatever Debian packages keywatch's build and tests
# need and this machine lacks. Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ make             # native build
  g++-mingw-w64-x86-64-posix             # Windows x64 cross build
  binutils-mingw-w64-x86-64              # windres, objdump for the DLL
  wine64                                 # runs the Windows build's programs
  googletest libgtest-dev                # test framework: sources for the Windows build, prebuilt for Linux
  libstb-dev fonts-dejavu-core           # the stand-in simulator's font and PNG writer
  libfreetype-dev                        # the bitmap generator
  libbenchmark-dev                       # benchmarks
  clang libclang-rt-14-dev               # fuzzing and sanitizers
  zip                                    # the release archive
  libcli11-dev                           # keywatch-log's option parsing (header-only, both targets)
  python3                                # the release check of add-on.xml
  chromium                               # keywatch-log report's browser test
  faketime                               # replays the example flight fast (scripts/report-screenshot.sh --play)
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "error: need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  sudo=sudo
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}" >/dev/null
