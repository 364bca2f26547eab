#!/usr/bin/env bash
# Fails when a shipped library still names an environment variable that would redirect the SDK
# or widen whom it trusts: a release build compiles the reading of them out.
# Usage: check_no_overrides.sh LIBRARY...
set -euo pipefail
status=0
for library in "$@"; do
  [[ -f $library ]] || { echo "check_no_overrides: no library $library"; exit 1; }
  if found=$(strings -a "$library" | grep -E 'LUMO_DEV_BASE_URL|LUMO_TRUSTED_CA_FILE'); then
    echo "check_no_overrides: $library names a development override:"
    echo "$found"
    status=1
  fi
done
[[ $status == 0 ]] && echo "check_no_overrides: no development override in $*"
exit $status
