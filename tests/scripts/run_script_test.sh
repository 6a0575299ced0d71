#!/usr/bin/env bash
# run.sh refuses a scenario it cannot read with exit status 2 and a message that names the cause,
# before it builds anything.
set -u
run="$1"
status=0
check() {  # scenario, expected words
  local out rc
  out="$(QUILLON_SCENARIO="$1" "$run" 2>&1)"; rc=$?
  if [[ $rc -ne 2 ]]; then echo "FAIL: $1: exit status $rc, expected 2"; status=1; fi
  if [[ "$out" != *"$2"* ]]; then echo "FAIL: $1: message \"$out\" lacks \"$2\""; status=1; fi
}
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
check "$scratch/missing.xml" "No scenario file"
check "$scratch" "is a folder"
exit $status
