#!/bin/sh
# A small build as a script runs it, with `set -e` and /err on every call:
# the second call fails (one of its files is missing), the script stops
# there, and that call left the image as the first call made it.
# Usage: build_script_test.sh MOZAIK32 MKIMAGE
set -u
tool=$1
mkimage=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
"$mkimage" img.bin --size 256K --samples parts >/dev/null || exit 1

cat >build.sh <<SCRIPT
set -e
"$tool" img.bin /vga parts/vga.rom /fnt0 parts/data.bin /err
cp img.bin after_first.bin
"$tool" img.bin /isa parts/isa.rom /pci parts/missing.rom /err
touch reached
SCRIPT

if sh build.sh >build.log 2>&1; then
  echo "the build did not stop at the failed call"; cat build.log; exit 1
fi
if [ -e reached ]; then echo "a command ran after the failed call"; exit 1; fi
grep -q "Can't open parts/missing.rom file" build.log || { echo "no message for the missing file"; cat build.log; exit 1; }
cmp -s img.bin after_first.bin || { echo "the failed call changed the image"; exit 1; }
"$tool" img.bin /verify /err >verify.log 2>&1 || { echo "the image does not verify"; cat verify.log; exit 1; }
echo "the build stopped at the failed call; the image is as the first call left it"
