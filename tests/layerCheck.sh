#!/usr/bin/env bash
# Every include in src/ points down the layers, so each layer can be read, built and tested on
# what is beneath it alone:
#   launcher -> startup -> std -> pAmigaDos -> strings -> runtime -> platform
# Above the host layer, only its program-facing headers are included: a header whose opening
# lines say "Internal to the host layer" stays inside src/platform/.
cd "${1:-$(dirname "$0")/..}" || exit 2
layers=(platform runtime strings pAmigaDos std startup launcher)
declare -A floor
for index in "${!layers[@]}"; do floor[${layers[$index]}]=$index; done

failed=0
for folder in src/*/; do
    layer=$(basename "$folder")
    if [ -z "${floor[$layer]+set}" ]; then
        echo "src/$layer/ is no known layer: give it its place in tests/layerCheck.sh"
        failed=1
        continue
    fi
    while IFS=: read -r file line included; do
        target=${included%%/*}
        if [ -z "${floor[$target]+set}" ]; then
            echo "$file:$line includes \"$included\", which is in no known layer"
            failed=1
        elif [ "${floor[$target]}" -gt "${floor[$layer]}" ]; then
            echo "$file:$line: $layer includes \"$included\" of the higher layer $target"
            failed=1
        elif [ "$target" = platform ] && [ "$layer" != platform ] &&
             head -n 4 "src/$included" 2>/dev/null | grep -q 'Internal to the host layer'; then
            echo "$file:$line: $layer includes \"$included\", which is internal to the host layer"
            failed=1
        fi
    done < <(grep -rnoE '^#\s*include\s*"[^"]+"' "$folder" --include='*.h' --include='*.cpp' |
             sed -E 's/^([^:]+):([0-9]+):#\s*include\s*"([^"]+)"$/\1:\2:\3/')
done
[ "$failed" = 0 ] && echo "every include points down"
exit "$failed"
