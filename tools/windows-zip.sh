#!/usr/bin/env bash
# Packs the Windows tool for its users: BUILD/mozaik32-windows.zip holds
# mozaik32.exe, README.txt, guide.txt, mozaik32.txt (the manual page as plain text) and
# mozaik32-completion.ps1 (the PowerShell completion), the texts with CRLF
# line ends for Notepad.
# Usage: windows-zip.sh BUILD COMPLETION (the folder with mozaik32.exe, the
# PowerShell completion the Linux build wrote)
set -euo pipefail
build=$1
completion=$2
stage=$build/zip
rm -rf "$stage" "$build/mozaik32-windows.zip"
mkdir -p "$stage"
cp "$build/mozaik32.exe" "$stage/"
# The build's own .exe keeps its debug information; the user's has none.
x86_64-w64-mingw32-strip "$stage/mozaik32.exe"
sed 's/$/\r/' README.md >"$stage/README.txt"
sed 's/$/\r/' doc/guide.md >"$stage/guide.txt"
# Plain text: no bold or underline, neither by escapes nor by overstriking.
groff -man -Tascii -P-cbou doc/mozaik32.1 2>/dev/null | sed 's/$/\r/' >"$stage/mozaik32.txt"
[ -s "$stage/mozaik32.txt" ] || { echo "the manual page did not render" >&2; exit 1; }
sed 's/$/\r/' "$completion" >"$stage/mozaik32-completion.ps1"
(cd "$stage" && zip -q -X ../mozaik32-windows.zip mozaik32.exe README.txt guide.txt mozaik32.txt mozaik32-completion.ps1)
rm -rf "$stage"
echo "$build/mozaik32.exe and $build/mozaik32-windows.zip written"
