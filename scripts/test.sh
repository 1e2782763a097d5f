#!/usr/bin/env bash
# Builds and runs every test configuration, stage by stage (scripts/stages/*.sh, in order).
# Usage: scripts/test.sh [stage-name-pattern]
source "$(dirname "$0")/lib.sh"
start=$(date +%s)
pattern="${1:-}"
for s in "$ROOT"/scripts/stages/*.sh; do
    name="$(basename "$s" .sh)"
    [ -n "$pattern" ] && [[ "$name" != *$pattern* ]] && continue
    t0=$(date +%s)
    stage "$name"
    bash "$s"
    echo "-- $name took $(( $(date +%s) - t0 )) s"
done
echo
echo "All stages passed in $(( $(date +%s) - start )) s."
