#!/usr/bin/env bash
# Fails when an #include in src/ points up a layer. The layers, bottom to top; a folder may
# include its own headers and those of any folder below it, never one beside or above it.
set -euo pipefail
cd "$(dirname "$0")/../src"
layers=(platform "memory text arith" index state host registry settings links row "actv queries" exports)

declare -A rank
for i in "${!layers[@]}"; do
    for folder in ${layers[$i]}; do rank[$folder]=$i; done
done

status=0
for dir in */; do
    dir=${dir%/}
    if [ -z "${rank[$dir]+x}" ]; then
        echo "src/$dir: not in any layer (add it to scripts/check-layers.sh)" >&2
        status=1
        continue
    fi
    while IFS=: read -r file line target; do
        to=${target%%/*}
        [ "$to" = "$dir" ] && continue
        if [ -z "${rank[$to]+x}" ] || [ "${rank[$to]}" -ge "${rank[$dir]}" ]; then
            echo "src/$file:$line: $dir includes $target, which is not below it" >&2
            status=1
        fi
    done < <(grep -HnoE '^#include "[a-z_]+/[^"]+"' "$dir"/* | sed -E 's/#include "([^"]+)"/\1/')
done
[ "$status" -eq 0 ] && echo "layers: every include in src/ points down (${layers[*]})"

# The global state is reached only through the functions of the file that owns each table: a
# layer that reads or writes another layer's table fails, which the includes alone cannot show.
declare -A owner=(
    [findFirstMoneyLimit]=host/host [getMoneyLimit]=host/host [findFirstSecLimit]=host/host
    [getSecLimit]=host/host [getParamId]=host/host [getParamValue]=host/host
    [paramIdCache]=host/host [interfaceVersion]=host/host
    [handles]=state/handles [lastHandle]=state/handles
    [classRegistry]=registry/registry [securityRegistry]=registry/registry
    [anyFaceValueClass]=registry/registry [classByCode]=registry/registry
    [securityByClassCode]=registry/registry [securityByCode]=registry/registry
    [securityById]=registry/registry [lastListedMark]=registry/registry
    [firmSettingsTable]="settings/settings settings/loader"
    [initialised]="exports/export exports/exports"
)
state_status=0
while IFS=: read -r file line use; do
    field=${use#gState.}
    base=${file%.*}
    if [ "$use" = "$field" ]; then
        echo "src/$file:$line: gState used whole; reach a table through its owner's functions" >&2
        state_status=1
    elif [ -z "${owner[$field]+x}" ]; then
        echo "src/$file:$line: gState.$field has no owner (add it to scripts/check-layers.sh)" >&2
        state_status=1
    elif [[ " ${owner[$field]} " != *" $base "* ]]; then
        echo "src/$file:$line: gState.$field belongs to ${owner[$field]}; use its functions" >&2
        state_status=1
    fi
done < <(grep -rnoE 'gState(\.[A-Za-z]+)?' --exclude='state.*' . | sed 's|^\./||')
if grep -rn 'gState' ../tools >&2; then
    echo "tools/: the tool never touches the library's global state" >&2
    state_status=1
fi
[ "$state_status" -eq 0 ] && echo "layers: every table of the global state is reached through its owner"
[ "$state_status" -eq 0 ] || status=1

# The tool reaches the library through the public header and one internal interface only.
tool_status=0
while IFS=: read -r file line target; do
    [ "$target" = "exports/internal.h" ] && continue
    echo "tools/${file#../tools/}:$line: includes $target; the tool may include only exports/internal.h from src/" >&2
    tool_status=1
done < <(grep -rHnoE '^#include "[^"]+"' ../tools | sed -E 's/#include "([^"]+)"/\1/' |
    while IFS=: read -r file line target; do
        [ -e "${target}" ] && echo "$file:$line:$target"
    done)
[ "$tool_status" -eq 0 ] && echo "layers: tools/ includes nothing from src/ but exports/internal.h"
[ "$tool_status" -eq 0 ] || status=1
exit "$status"
