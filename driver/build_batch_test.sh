#!/bin/sh
# A small build as a batch file runs it in cmd.exe (Wine's), with /err and
# "if errorlevel 1" after every call: the second call fails (one of its
# files is missing), the batch stops there with status 1, and that call
# left the image as the first call made it.
# Usage: build_batch_test.sh MOZAIK32_EXE LINUX_MKIMAGE
set -u
exe=$(winepath -w "$1" 2>/dev/null)
mkimage=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
"$mkimage" img.bin --size 256K --samples parts >/dev/null || exit 1

printf '%s\r\n' '@echo off' \
  "\"$exe\" img.bin /vga parts\\vga.rom /fnt0 parts\\data.bin /err" \
  'if errorlevel 1 exit /b 1' \
  'copy /y img.bin after_first.bin >nul' \
  "\"$exe\" img.bin /isa parts\\isa.rom /pci parts\\missing.rom /err" \
  'if errorlevel 1 exit /b 1' \
  'echo reached>reached' >build.bat

if wine cmd /c build.bat >build.log 2>&1 </dev/null; then
  echo "the build did not stop at the failed call"; cat build.log; exit 1
fi
if [ -e reached ]; then echo "a command ran after the failed call"; exit 1; fi
[ -e after_first.bin ] || { echo "the first call failed"; cat build.log; exit 1; }
grep -q "Can't open parts.missing.rom file" build.log || { echo "no message for the missing file"; cat build.log; exit 1; }
cmp -s img.bin after_first.bin || { echo "the failed call changed the image"; exit 1; }
wine "$1" img.bin /verify /err >verify.log 2>&1 </dev/null || { echo "the image does not verify"; cat verify.log; exit 1; }
echo "the batch stopped at the failed call; the image is as the first call left it"
