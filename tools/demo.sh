#!/usr/bin/env bash
# The demo: sample images and sample components in demo/, the tool run on
# them the way a build script would, and at the end where the images and
# the tool are.
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

# The file's 16-bit little-endian word sum, computed here, not by the tool.
word_sum() {
  /usr/bin/python3 -c 'import sys; d = open(sys.argv[1], "rb").read()
print("%04Xh" % (sum(d[i] | d[i + 1] << 8 for i in range(0, len(d) - 1, 2)) & 0xFFFF))' "$1"
}

# An image assembled from parts, as a build script does it.
"$mkimage" build.bin --size 256K --chain empty --parts . >/dev/null
/usr/bin/python3 -c 'from PIL import Image
img = Image.new("P", (320, 200))
img.putpalette([v for i in range(256) for v in (i, 255 - i, (3 * i) % 256)])
img.putdata([((x // 20) + (y // 20) * 16) % 256 for y in range(200) for x in range(320)])
img.save("logo.bmp")'
step "mozaik32 build.bin /vga vga.rom /pci pci.rom /logo logo.bmp /fnt0 font.bin /fnt1 tool.exe /NoCompress table.bin"
"$tool" build.bin /vga vga.rom /pci pci.rom /logo logo.bmp /fnt0 font.bin /fnt1 tool.exe /NoCompress table.bin
step "mozaik32 build.bin /D"
"$tool" build.bin /D
step "mozaik32 build.bin /vga vga_new.rom   (a newer build of the same VGA ROM replaces it)"
"$tool" build.bin /vga vga_new.rom
step "mozaik32 build.bin /D"
"$tool" build.bin /D
printf '\nword sum of build.bin: %s\n' "$(word_sum build.bin)"
step "mozaik32 build.bin /verify"
"$tool" build.bin /verify

# The placements outside the chain, on a banked 1 MB image.
"$mkimage" banked.bin --size 1M --banked --chain empty >/dev/null
step "mozaik32 banked.bin /btvga vga.rom /NC_CPUCODE ucode.exe /fnt0 font.bin"
"$tool" banked.bin /btvga vga.rom /NC_CPUCODE ucode.exe /fnt0 font.bin
step "mozaik32 banked.bin /D   (the (BB) and (SP) NCPUCODE rows, the microcode of the new block)"
"$tool" banked.bin /D
printf '\nword sum of banked.bin: %s\n' "$(word_sum banked.bin)"
step "mozaik32 banked.bin /verify"
"$tool" banked.bin /verify

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

# A board of firmware no one here wrote, from Debian's packages: SeaBIOS's
# VGA BIOS, an iPXE network ROM, sgabios and SeaBIOS's ACPI DSDT. /verify
# checks what each holds against its kind; a network ROM offered as the VGA
# ROM is foretold by /dry; a byte damaged in flashing is salvaged by /unpack.
"$mkimage" board.bin --size 512K --chain empty >/dev/null
cp /usr/share/seabios/vgabios-stdvga.bin vgabios.rom
cp /usr/lib/ipxe/qemu/pxe-e1000.rom /usr/lib/ipxe/qemu/pxe-rtl8139.rom /usr/share/qemu/sgabios.bin \
  /usr/share/seabios/acpi-dsdt.aml .
step "mozaik32 board.bin /vga vgabios.rom /pci pxe-e1000.rom /isa sgabios.bin /acpi acpi-dsdt.aml"
"$tool" board.bin /vga vgabios.rom /pci pxe-e1000.rom /isa sgabios.bin /acpi acpi-dsdt.aml
step "mozaik32 board.bin /verify   (each ROM and table checked against its kind)"
"$tool" board.bin /verify
step "mozaik32 board.bin /vga pxe-rtl8139.rom /dry   (a network ROM offered as a VGA ROM)"
"$tool" board.bin /vga pxe-rtl8139.rom /dry
/usr/bin/python3 -c 'import sys; b = bytearray(open("board.bin", "rb").read())
at = b.index(b"-lh5-", 0x10000) - 2       # the VGA BIOS, the first member of the chain
b[at + b[at] + 2 + 0x200] ^= 0x5A         # a byte of its compressed data
open("flashed.bin", "wb").write(b)'
step "mozaik32 flashed.bin /unpack rescue /err   (a byte damaged in flashing; exit status \$?)"
set +e
"$tool" flashed.bin /unpack rescue /err
status=$?
set -e
echo "exit status $status"
ls rescue

# Where the demo left its files, and the tool to try on them.
images="build.bin banked.bin sample.bin showcase.bin board.bin flashed.bin"
others=$(for f in *; do case " $images " in *" $f "*) ;; *) printf '%s ' "$f" ;; esac; done)
printf '\nThe demo images are in %s/:\n' "$PWD"
printf '  build.bin     assembled from parts, a VGA ROM replaced by its newer build\n'
printf '  banked.bin    1 MB, banked: a boot-block VGA ROM and a top microcode block\n'
printf '  sample.bin    the sample image, its PCI ROM released\n'
printf '  showcase.bin  an image with every kind of listing row\n'
printf '  board.bin     real firmware: SeaBIOS VGA, iPXE, sgabios, an ACPI DSDT\n'
printf '  flashed.bin   board.bin with a byte damaged, salvaged into rescue/\n'
printf 'Beside them, the components and the files the runs wrote:\n'
printf '%s\n' "$others" | fold -s -w 74 | sed 's/ *$//; s/^/  /'
printf 'The tool is %s (mkimage beside it). Try:\n' "$tool"
printf '  %s %s/build.bin /D\n' "$build/mozaik32" "demo"
