#!/usr/bin/env bash
# Makes the Debian packages of a package build (cpack), checks them with lintian (overrides
# explained in packaging/README.md), unpacks them with dpkg-deb into a temporary root and runs
# the install test's hosts and the minimal example against that root.
# Usage: test_packages.sh BUILD_DIR LUMO_BACKEND_PROGRAM CXX_COMPILER
set -euo pipefail
build=$1 backend_program=$2 cxx=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/debs" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
for package in liblumosdk0 liblumosdk-dev lumodemo; do
  deb=$(find "$work/debs" -maxdepth 1 -name "${package}_*.deb" | head -n1)
  [[ -n $deb ]] || fail "no $package package"
  echo "== $(basename "$deb")"
  dpkg-deb --field "$deb" Version Depends
done
runtime_depends=$(dpkg-deb --field "$work"/debs/liblumosdk0_*.deb Depends)
grep -q "libsqlite3-0" <<<"$runtime_depends" || fail "liblumosdk0 does not depend on SQLite: $runtime_depends"
grep -q "liblumosdk0" <<<"$(dpkg-deb --field "$work"/debs/lumodemo_*.deb Depends)" || fail "lumodemo does not depend on liblumosdk0"
control=$(dpkg-deb --ctrl-tarfile "$work"/debs/liblumosdk0_*.deb | tar -t)
grep -q shlibs <<<"$control" || fail "liblumosdk0 has no shlibs file"
grep -q triggers <<<"$control" || fail "liblumosdk0 has no ldconfig trigger"

if command -v lintian >/dev/null; then
  # As root lintian says so on stderr; the findings go to stdout.
  lintian --fail-on error,warning --no-tag-display-limit "$work"/debs/*.deb >"$work/lintian.log" 2>/dev/null ||
    { cat "$work/lintian.log"; fail "lintian"; }
  cat "$work/lintian.log"
else
  fail "lintian is missing (scripts/setup installs it)"
fi

root=$work/root
for deb in "$work"/debs/*.deb; do dpkg-deb -x "$deb" "$root"; done
[[ -x $root/usr/bin/lumodemo && -f $root/usr/share/lumodemo/tours/product.tour ]] || fail "the demo is not packaged"
[[ -x $root/usr/bin/lumo_session_report && -f $root/usr/share/man/man1/lumo_session_report.1.gz ]] ||
  fail "the session report is not packaged"
"$here/../tests/install/run_install_test.sh" --prefix "$root/usr" "$backend_program" "$cxx"
echo "package test passed"
