#!/bin/sh
# The Windows tool under Wine and the Linux tool, each in a folder of its
# own with the same images and component files, run the same command lines
# (listing, adds of every family, release, extract with and without prompts,
# /verify, /CALS, /json, /dry, the _last form, failures under /err): after every step
# both folders hold the same files byte for byte, and both tools printed the
# same text on each channel (CRLF read as LF) and ended with the same status.
# Usage: windows_linux_test.sh MOZAIK32_EXE LINUX_MOZAIK32 LINUX_MKIMAGE
# (Wine's settings come from the environment: make windows-test sets them).
set -u
exe=$1
tool=$2
mkimage=$3
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/linux" "$dir/windows"
cd "$dir/linux" || exit 1
"$mkimage" build.bin --size 256K --chain empty --parts . >/dev/null &&
"$mkimage" sample.bin --size 256K --samples parts >/dev/null &&
"$mkimage" show.bin --showcase >/dev/null &&
"$mkimage" banked.bin --size 1M --banked --chain empty >/dev/null || exit 1
# Windows file names ignore case: the VGA.ROM an extract writes must not be vga.rom.
mv vga.rom board.rom
printf 'Board notes\nrevision 2\n' >notes.txt
# A 16-colour bitmap of 8 x 2 pixels for the logo: file and info headers,
# a palette of 16 greys and blues, two rows of all 16 indices.
bytes() { for b in "$@"; do printf "\\$(printf %03o "0x$b")"; done; }
{
  bytes 42 4D 7E 00 00 00 00 00 00 00 76 00 00 00 28 00 00 00 08 00 00 00 02 00 00 00 01 00 04 00
  bytes 00 00 00 00 08 00 00 00 00 00 00 00 00 00 00 00 10 00 00 00 00 00 00 00
  for i in 0 1 2 3 4 5 6 7 8 9 A B C D E F; do bytes "${i}0" "${i}8" "${i}F" 00; done
  bytes 01 23 45 67 89 AB CD EF
} >logo.bmp
cp -R . ../windows/

steps=0
failures=0
# step STATUS INPUT ARGS...: one command line in both folders, INPUT on
# standard input; both must end with STATUS.
step() {
  expected=$1
  input=$2
  shift 2
  steps=$((steps + 1))
  (cd "$dir/linux" && printf '%b' "$input" | "$tool" "$@" >../linux.out 2>../linux.err; echo $? >../linux.status)
  (cd "$dir/windows" && printf '%b' "$input" | wine "$exe" "$@" >../windows.out 2>../windows.err; echo $? >../windows.status)
  for f in out err; do
    tr -d '\r' <"$dir/windows.$f" >"$dir/windows.$f.lf"
    if ! cmp -s "$dir/linux.$f" "$dir/windows.$f.lf"; then
      echo "step $steps ($*): standard $f differs"
      diff "$dir/linux.$f" "$dir/windows.$f.lf" | head -20
      failures=$((failures + 1))
    fi
  done
  if [ "$(cat "$dir/linux.status") $(cat "$dir/windows.status")" != "$expected $expected" ]; then
    echo "step $steps ($*): status $(cat "$dir/linux.status") on Linux, $(cat "$dir/windows.status") on Windows, not $expected"
    failures=$((failures + 1))
  fi
  if ! diff -r "$dir/linux" "$dir/windows" >"$dir/files.diff"; then
    echo "step $steps ($*): the folders differ"
    head -20 "$dir/files.diff"
    failures=$((failures + 1))
  fi
}

step 0 '' build.bin /D
step 0 '' build.bin /vga board.rom /pci pci.rom /fnt0 font.bin /fnt1 tool.exe /NoCompress table.bin /err
step 0 '' build.bin /vga vga_new.rom /mib notes.txt /err
step 0 '' build.bin /D
step 0 '' build.bin /verify
step 0 '' build.bin /CALS table.bin
step 0 '' build.bin /vga extract slot=1 to=vga1.rom /err
step 0 'font_out.bin\n' build.bin /fnt0 extract
step 0 '' build.bin /pci release slot=A /err
step 1 '' build.bin /pci parts/missing.rom /fnt0 font.bin /err
step 0 '' build.bin /verify /err
step 0 '' build.bin /json
step 0 '' build.bin /fnt2 font.bin /dry /json
step 0 '' sample.bin /isa parts/isa.rom 40A1D800 /pci parts/vga.rom /err
step 0 '\n' sample.bin /vga extract
step 0 'A\npci_a.rom\n' sample.bin /pci extract
step 0 'B\n' sample.bin /pci release
step 0 '' sample.bin /D
step 0 '' show.bin /D
step 0 '' build.bin /logo logo.bmp /err
step 0 '' build.bin /logo extract to=logo2.bmp /err
step 0 '' banked.bin /btvga board.rom /NC_CPUCODE ucode.exe /fnt0 font.bin
step 0 '' banked.bin /D
step 0 '' banked.bin /verify
step 0 '' build.bin /D /err /err
step 1 '' nothere.bin /D /err
export _last=build
step 0 '' /D
step 0 '' /fnt0 release /err
unset _last
step 1 '' /D /err

# The steps did what they are for: the files of the extracts are there.
for f in vga1.rom font_out.bin VGA.ROM pci_a.rom logo2.bmp; do
  [ -s "$dir/linux/$f" ] || { echo "no $f was extracted"; failures=$((failures + 1)); }
done

if [ "$failures" -ne 0 ]; then
  echo "$failures differences in $steps steps"
  exit 1
fi
echo "$steps steps: the same files, text and status on Linux and under Windows"
