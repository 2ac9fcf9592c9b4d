#!/usr/bin/env bash
# A vendor build script's pattern, timed: a 1 MB image, ten adds of 8 to 64
# KB components (option ROMs, a logo, fonts, a DOS executable, tables) in one
# run that ends with /D, next to /CALS of the same ten files (the
# compressions alone). The difference is what the image work costs: walks,
# ROM comparisons, moves and fix-ups. Also the peak resident memory of the run.
#   bench/build_image.sh [BUILD_DIR] [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${2:-5}
tool="$build/mozaik32"
for need in "$tool" "$build/mkimage"; do
  [ -x "$need" ] || { echo "missing $need (build first)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$build/mkimage" base.bin --size 1M >/dev/null

# The ten components, made here: option ROMs with a PCI data structure, a
# 256-colour bitmap, fonts, an executable and tables of code-like bytes.
python3 - <<'PY'
import random, struct
rnd = random.Random(7)
def code_like(n, seed):
    r = random.Random(seed)
    ops = [bytes([0x8B, 0x46]), bytes([0xE8]), bytes([0x50, 0x53]), bytes([0xC3]), bytes([0x89, 0x5E])]
    out = bytearray()
    while len(out) < n:
        out += r.choice(ops) + bytes([r.randrange(256)])
    return bytes(out[:n])
def rom(n, vendor, device, cls, seed):
    b = bytearray(code_like(n, seed))
    b[0:3] = bytes([0x55, 0xAA, n // 512])
    b[0x18:0x1A] = struct.pack('<H', 0x40)
    b[0x40:0x50] = b'PCIR' + struct.pack('<HH', vendor, device) + bytes(6) + bytes([0, cls])
    b[-1] = 0
    b[-1] = (-sum(b)) & 0xFF
    return bytes(b)
def bmp(w, h):
    pal = b''.join(bytes([i, 255 - i, (i * 3) & 255, 0]) for i in range(256))
    rows = b''.join(bytes(((x // 8 + y // 8) * 17) & 255 for x in range(w)) for y in range(h))
    off = 54 + len(pal)
    head = b'BM' + struct.pack('<IHHI', off + len(rows), 0, 0, off)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 8, 0, len(rows), 3780, 3780, 0, 0)
    return head + info + pal + rows
def exe(body):
    hdr = bytearray(32)
    hdr[0:2] = b'MZ'
    hdr[8:10] = struct.pack('<H', 2)
    return bytes(hdr) + body
files = {
    'vga.rom': rom(0xC000, 0x10DE, 0x0040, 3, 1),
    'lan.rom': rom(0x8000, 0x8086, 0x100E, 2, 2),
    'raid.rom': rom(0x10000, 0x1000, 0x0030, 1, 3),
    'logo.bmp': bmp(320, 200),
    'fnt0.bin': code_like(0x4000, 4) * 2,
    'fnt1.bin': code_like(0x6000, 5) * 2,
    'setup.exe': exe(code_like(0xA000, 6)),
    'oem0.bin': code_like(0x9000, 7),
    'acpi.bin': code_like(0x5000, 8) * 2,
    'ros.bin': code_like(0x8000, 9),
}
for name, data in files.items():
    open(name, 'wb').write(data)
PY
files=(vga.rom lan.rom raid.rom logo.bmp fnt0.bin fnt1.bin setup.exe oem0.bin acpi.bin ros.bin)
args=(/vga vga.rom /pci lan.rom /pci raid.rom /logo logo.bmp /fnt0 fnt0.bin /fnt1 fnt1.bin
      /fnt2 setup.exe /oem0 oem0.bin /acpi acpi.bin /ros ros.bin /D)

# Median wall time in seconds of RUNS runs of the given shell snippet, each
# on a fresh copy of the image $2 (base.bin by default) as img.bin.
median() {
  local times=() t0 t1
  for ((i = 0; i < runs; i++)); do
    cp "${2:-base.bin}" img.bin
    t0=$(date +%s.%N)
    eval "$1" >/dev/null 2>&1
    t1=$(date +%s.%N)
    times+=("$(echo "$t1 - $t0" | bc -l)")
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p"
}

# The build as a vendor script runs it, one call per component and a
# listing at the end, against one /CALS call per component and the same
# listing: both start the tool eleven times, so the difference is the image
# work of the adds (preparation, walks, ROM comparisons, moves, fix-ups).
build_calls='for ((k = 0; k < 20; k += 2)); do "$tool" img.bin "${args[k]}" "${args[k + 1]}"; done; "$tool" img.bin /D'
build_run='"$tool" img.bin "${args[@]}"'
cals_runs='for f in "${files[@]}"; do "$tool" img.bin /CALS "$f"; done; "$tool" img.bin /D'
calls=$(median "$build_calls")
one=$(median "$build_run")
cals=$(median "$cals_runs")
# The check of the built image next to its listing.
cp base.bin img.bin
"$tool" img.bin "${args[@]}" >/dev/null 2>&1
cp img.bin built.bin
list=$(median '"$tool" img.bin /D' built.bin)
verify=$(median '"$tool" img.bin /verify' built.bin)
cp base.bin img.bin
/usr/bin/time -o rss.txt -f '%M' "$tool" img.bin "${args[@]}" >/dev/null 2>&1
rss=$(tail -1 rss.txt)
"$tool" img.bin /D > listing.txt
members=$(grep -c '^ *[0-9]*\. ' listing.txt)
printf 'ten add calls and /D          %8.3f s   (median of %d)\n' "$calls" "$runs"
printf '/CALS calls of the ten and /D   %8.3f s\n' "$cals"
printf 'image work on top              %8.1f %%\n' "$(echo "($calls - $cals) * 100 / $cals" | bc -l)"
printf 'ten adds and /D in one run     %8.3f s\n' "$one"
printf 'peak resident memory (one run) %8d KB\n' "$rss"
printf 'listing rows afterwards        %8d\n' "$members"
printf '/D of the built image          %8.3f s\n' "$list"
printf '/verify of the built image     %8.3f s\n' "$verify"
