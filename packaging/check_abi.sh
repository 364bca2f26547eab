#!/usr/bin/env bash
# Compares the ABI of the built libraries with the baseline committed in packaging/abi/
# (abidw of the release: exported interfaces and the types of the public headers, xz-compressed). Fails on an incompatible change (a removed or
# changed function or variable, a changed type) unless the SONAME's major number changed with
# it; compatible additions are reported and pass. A new major release commits a new baseline:
#   check_abi.sh --update LIBLUMOSDK LIBLUMOPLATFORM packaging/abi SOURCE_ROOT
# Usage: check_abi.sh [--update] LIBLUMOSDK LIBLUMOPLATFORM BASELINE_DIR SOURCE_ROOT
set -euo pipefail
update=false
if [[ ${1:-} == --update ]]; then update=true; shift; fi
sdk=$1 platform=$2 baselines=$3 root=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

soname() { readelf -d "$1" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p'; }
# Only what a host sees: the types of the installed headers, no paths of this machine.
describe() {
  abidw --headers-dir "$root/$2" --drop-private-types --exported-interfaces-only --no-corpus-path \
    --no-comp-dir-path --no-show-locs --out-file "$3" "$1"
}

status=0
for entry in "$sdk:lumosdk" "$platform:platform"; do
  library=${entry%%:*} headers=${entry##*:}
  name=$(soname "$library")
  baseline=$baselines/$name.abi.xz
  if $update; then
    describe "$library" "$headers" "$work/$name.abi"
    xz -9 -c "$work/$name.abi" >"$baseline"
    echo "check_abi: wrote $baseline"
    continue
  fi
  if [[ ! -f $baseline ]]; then
    # No baseline for this SONAME: a new major release, whose break is announced by its name.
    echo "check_abi: $name has no baseline in $baselines (a new SONAME): commit one with --update"
    ls "$baselines"/*.abi.xz >/dev/null 2>&1 || status=1
    continue
  fi
  describe "$library" "$headers" "$work/$name.abi"
  xz -d -c "$baseline" >"$work/$name.baseline.abi"
  set +e
  abidiff "$work/$name.baseline.abi" "$work/$name.abi" >"$work/$name.diff" 2>&1
  result=$?
  set -e
  # abidiff's exit status is a bit field: 1 error, 2 usage, 4 a change, 8 an incompatible change.
  if (( result & 3 )); then
    cat "$work/$name.diff"; echo "check_abi: abidiff could not compare $name"; status=1
  elif (( result & 8 )); then
    cat "$work/$name.diff"
    echo "check_abi: $name breaks its ABI; keep the ABI or raise the SONAME's major number"
    status=1
  elif (( result & 4 )); then
    cat "$work/$name.diff"; echo "check_abi: $name changed compatibly"
  else
    echo "check_abi: $name keeps the ABI of its baseline"
  fi
done
exit $status
