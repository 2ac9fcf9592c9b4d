#!/usr/bin/env bash
# Checks the Debian package that `make deb` built: the files it must hold
# (dpkg-deb -c), that the tool in it gives the package's version, that it
# depends on the C library alone, and that lintian finds no error (its
# warnings are printed).
# Usage: check.sh PACKAGE.deb
set -euo pipefail
deb=$1
contents=$(dpkg-deb -c "$deb")
for f in usr/bin/mozaik32 usr/share/man/man1/mozaik32.1.gz \
         usr/share/bash-completion/completions/mozaik32 usr/share/zsh/vendor-completions/_mozaik32 \
         usr/share/mozaik32/mozaik32-report.schema.json usr/share/doc/mozaik32/README.md usr/share/doc/mozaik32/guide.md \
         usr/share/doc/mozaik32/changelog.gz usr/share/doc/mozaik32/copyright; do
  grep -q " \./$f\$" <<<"$contents" || { echo "$deb: no $f in it" >&2; exit 1; }
done
version=$(dpkg-deb -f "$deb" Version)
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
banner=$("$unpacked/usr/bin/mozaik32" --version)
case $banner in
  "MOZAIK32 V$version "*) ;;
  *) echo "$deb: version $version, but the tool says: $banner" >&2; exit 1 ;;
esac
depends=$(dpkg-deb -f "$deb" Depends)
case $depends in
  "libc6 "*) [[ $depends != *,* ]] || { echo "$deb: depends on more than libc6: $depends" >&2; exit 1; } ;;
  *) echo "$deb: depends on \"$depends\", not on libc6 alone" >&2; exit 1 ;;
esac
echo "$deb: version $version, Depends: $depends, $(wc -l <<<"$contents") entries"
lintian --fail-on error "$deb"
