#!/usr/bin/env bash
# Times our whole-process compression (mozaik32 IMAGE /CALS FILE) against an
# independent LH5 compressor (jlha c0o5q) on the same files, and our
# expansion of the resulting archive (codec_bench --expand, which writes
# original.tmp) against bsdtar -xf into a folder (which writes the member's
# file), side by side, with the ratios and the peak resident memory of the
# /CALS runs.
#   bench/compare_peers.sh [BUILD_DIR] [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${2:-5}
tool="$build/mozaik32"
bench="$build/codec_bench"
for need in "$tool" "$bench" "$build/mkimage"; do
  [ -x "$need" ] || { echo "missing $need (build first)" >&2; exit 1; }
done
for peer in jlha bsdtar; do
  command -v "$peer" >/dev/null || { echo "missing $peer (make deps installs it)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$build/mkimage" img.bin --size 256K >/dev/null

# Median wall time in seconds of RUNS runs of a command (output discarded).
median() {
  local times=()
  for ((i = 0; i < runs; i++)); do
    local t0 t1
    t0=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    t1=$(date +%s.%N)
    times+=("$(echo "$t1 - $t0" | bc -l)")
  done
  printf '%s\n' "${times[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'
}

mbps() { echo "scale=1; $1 / 1000000 / $2" | bc -l; }

printf '%-14s %9s | %9s %9s %7s | %9s %9s %7s | %8s\n' \
  sample bytes "ours MB/s" "jlha MB/s" "ratio" "ours MB/s" "bsdtar" "ratio" "peak KB"
printf '%-14s %9s | %-27s | %-27s |\n' "" "" "  compression (whole run)" "  expansion (whole run)"
for sample in code:1048576 code:8388608 text:1048576 text:8388608; do
  kind=${sample%%:*}
  size=${sample##*:}
  name="${kind}_$((size / 1048576))M.bin"
  "$bench" --write-sample "$kind" "$size" "$name"
  t_ours=$(median "$tool" img.bin /CALS "$name")
  peak=$( { /usr/bin/time -f '%M' "$tool" img.bin /CALS "$name" >/dev/null; } 2>&1 | tail -1)
  t_jlha=$(median sh -c "rm -f peer.lzh; jlha c0o5q peer.lzh $name")
  t_x_ours=$(median "$bench" --expand bios.rom)
  mkdir -p peer
  t_x_bsdtar=$(median bsdtar -xf bios.rom -C peer)
  cmp -s original.tmp "$name" || { echo "expansion of $name differs" >&2; exit 1; }
  cmp -s "peer/$name" "$name" || { echo "bsdtar's expansion of $name differs" >&2; exit 1; }
  printf '%-14s %9d | %9s %9s %6.2fx | %9s %9s %6.2fx | %8s\n' "$name" "$size" \
    "$(mbps "$size" "$t_ours")" "$(mbps "$size" "$t_jlha")" "$(echo "$t_jlha / $t_ours" | bc -l)" \
    "$(mbps "$size" "$t_x_ours")" "$(mbps "$size" "$t_x_bsdtar")" "$(echo "$t_x_bsdtar / $t_x_ours" | bc -l)" \
    "$peak"
done
echo "ratio: the peer's time over ours (above 1: we are faster); median of $runs runs"
echo "expansion: each writes one file, ours original.tmp, bsdtar the member's file in a folder; both take the CRC"
