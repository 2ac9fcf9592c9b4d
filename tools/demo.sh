#!/usr/bin/env bash
# The demo: a sample 256 KB image and sample components in demo/, and the
# tool run on them the way a build script would.
# Usage: tools/demo.sh [BUILD_DIR]   (the folder holding mozaik32 and mkimage;
# `make demo` builds them in build-demo/). Each step's command line is bold
# on a terminal and plain text in a file or a pipe.
set -euo pipefail
build=${1:-build-demo}
root=$(cd "$(dirname "$0")/.." && pwd)
tool="$root/$build/mozaik32"
mkimage="$root/$build/mkimage"
rm -rf "$root/demo"
mkdir -p "$root/demo"
cd "$root/demo"

if [ -t 1 ]; then
  step() { printf '\n\033[1m$ %s\033[0m\n' "$*"; }
else
  step() { printf '\n$ %s\n' "$*"; }
fi

"$mkimage" sample.bin --size 256K --samples . >/dev/null
step "mozaik32 sample.bin /D"
"$tool" sample.bin /D
"$mkimage" showcase.bin --showcase >/dev/null
step "mozaik32 showcase.bin /D   (an image with every kind of listing row)"
"$tool" showcase.bin /D
step "mozaik32 (no arguments: the usage screen)"
"$tool" </dev/null || true
step "mozaik32 sample.bin /CALS data.bin"
"$tool" sample.bin /CALS data.bin
step "printf 'vga_out.rom\\n' | mozaik32 sample.bin /vga extract"
printf 'vga_out.rom\n' | "$tool" sample.bin /vga extract
cmp vga.rom vga_out.rom && echo "(vga_out.rom is byte for byte the sample VGA ROM)"
step "mozaik32 sample.bin /pci release"
"$tool" sample.bin /pci release </dev/null
step "mozaik32 sample.bin /D   (after the release)"
"$tool" sample.bin /D
step "mozaik32 sample.bin /vga missing.rom /err   (exit status \$?)"
set +e
"$tool" sample.bin /vga missing.rom /err
status=$?
set -e
echo "exit status $status"
