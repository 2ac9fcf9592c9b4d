#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
#   install-deps.sh          everything `make test` needs
#   install-deps.sh build    only what building the tool and mkimage needs
#   install-deps.sh demo     that, the picture library the demo draws its logo with
#                            and the firmware packages its sample board is made of
#   install-deps.sh fuzz     that and clang, for the libFuzzer targets
#   install-deps.sh deb      that and what `make deb` packs and checks with: dpkg-dev
#                            and file (CPack's dependency scan), lintian
#   install-deps.sh windows  that and the mingw-w64 cross compiler, Wine (to run
#                            the Windows tests), GoogleTest's sources, zip, and
#                            groff for the manual page in the zip
# The LZH archivers and the picture library are independent peers the tests
# check the tool against; groff checks the manual page; zsh runs the zsh
# completion in its test; strace stops a run at a
# chosen call, for the test of runs that are killed; seabios, ipxe-qemu and
# qemu-system-data bring real VGA and network option ROMs and an ACPI table,
# on which the content checks of /verify must raise no false alarm;
# clang-format checks the sources' layout.
set -euo pipefail
need=(cmake g++ make)
options=()
if [ "${1:-}" = demo ]; then
  need+=(python3-pil seabios ipxe-qemu qemu-system-data)
elif [ "${1:-}" = fuzz ]; then
  need+=(clang)
elif [ "${1:-}" = deb ]; then
  need+=(dpkg-dev file lintian)
elif [ "${1:-}" = windows ]; then
  need+=(g++-mingw-w64-x86-64-posix wine wine64 googletest zip groff-base)
  # Wine's recommendations (fonts, sound, 32-bit libraries) are not needed.
  options+=(--no-install-recommends)
elif [ "${1:-}" != build ]; then
  need+=(libgtest-dev libbenchmark-dev groff-base libarchive-tools p7zip-full lhasa jlha-utils python3-pil python3-jsonschema strace zsh)
  need+=(seabios ipxe-qemu qemu-system-data clang-format)
fi
missing=()
for p in "${need[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages: ${missing[*]} (run as root to install them)" >&2
  exit 1
fi
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${options[@]}" "${missing[@]}" >/dev/null
