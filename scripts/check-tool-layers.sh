#!/usr/bin/env bash
# Fails when an #include in tools/ points up a layer or sideways. The tool's folders, bottom to
# top: scenario (model, readers, the in-memory host, the runner), analyses (explain, stress,
# what-if, audit), outputs (table, JSON, CSV, HTML: they print what the analyses found),
# commands; main.cpp wires the commands. A folder may include its own headers, those of a
# folder below it and the library's; never one beside or above it.
set -euo pipefail
cd "$(dirname "$0")/../tools"
layers=(scenario analyses outputs commands)

declare -A rank
for i in "${!layers[@]}"; do rank[${layers[$i]}]=$i; done
top=${#layers[@]} # main.cpp

status=0
for dir in */; do
    dir=${dir%/}
    if [ -z "${rank[$dir]+x}" ]; then
        echo "tools/$dir: not in any layer (add it to scripts/check-tool-layers.sh)" >&2
        status=1
    fi
done
while IFS=: read -r file line target; do
    from=${file%%/*}
    [ "$from" = "$file" ] && from_rank=$top || from_rank=${rank[$from]:-0}
    to=${target%%/*}
    [ -z "${rank[$to]+x}" ] && continue # the library's headers
    [ "$to" = "$from" ] && continue
    if [ "${rank[$to]}" -ge "$from_rank" ]; then
        echo "tools/$file:$line: $from includes $target, which is not below it" >&2
        status=1
    fi
done < <(grep -rHnoE '^#include "[a-z_]+/[^"]+"' --include='*.h' --include='*.cpp' . |
    sed -E 's|^\./||; s/#include "([^"]+)"/\1/')
[ "$status" -eq 0 ] && echo "tool layers: every include in tools/ points down (${layers[*]}, main)"
exit "$status"
