#!/usr/bin/env bash
# Builds the library and the kesvar tool, then runs the bundled example scenario.
source "$(dirname "$0")/lib.sh"
bash "$ROOT/scripts/stages/00-deps.sh"
cmake --preset native >/dev/null
cmake --build --preset native -j "$JOBS" --target kesvar_cli >/dev/null
exec "$ROOT/build/native/tools/kesvar" demo "$@"
