#!/usr/bin/env bash
# What src/ may include, so that each layer can be read, built and tested on what is beneath it:
#   includeCheck.sh seam    only the host layer includes operating-system headers, and its own
#                           headers do not pass them on
#   includeCheck.sh layers  every include points down the layers, launcher -> startup -> std ->
#                           pAmigaDos -> strings -> runtime -> platform; above the host layer
#                           only its program-facing headers are included (a header whose opening
#                           lines say "Internal to the host layer" stays inside src/platform/)
# A second argument names another source tree to check.
cd "${2:-$(dirname "$0")/..}" || exit 2
system='#\s*include\s*<(unistd|fcntl|dirent|spawn|signal|termios|poll|pwd|grp|dlfcn|pthread'
system+='|sys/[a-z_]+|linux/[a-z_]+)\.h>'
failed=0
report() { echo "$*"; failed=1; }

if [ "$1" = seam ]; then
    while read -r hit; do
        report "an operating-system header outside src/platform/: $hit"
    done < <(grep -rnE "$system" src --include='*.h' --include='*.cpp' | grep -v '^src/platform/')
    while read -r hit; do
        report "a host layer header that passes an operating-system header on: $hit"
    done < <(grep -rnE "$system" src/platform --include='*.h')
    [ "$failed" = 0 ] && echo "seam intact"
    exit "$failed"
fi

layers=(platform runtime strings pAmigaDos std startup launcher)
declare -A floor
for index in "${!layers[@]}"; do floor[${layers[$index]}]=$index; done
for folder in src/*/; do
    layer=$(basename "$folder")
    if [ -z "${floor[$layer]+set}" ]; then
        report "src/$layer/ is no known layer: give it its place in tests/includeCheck.sh"
        continue
    fi
    while IFS=: read -r file line included; do
        target=${included%%/*}
        if [ -z "${floor[$target]+set}" ]; then
            report "$file:$line includes \"$included\", which is in no known layer"
        elif [ "${floor[$target]}" -gt "${floor[$layer]}" ]; then
            report "$file:$line: $layer includes \"$included\" of the higher layer $target"
        elif [ "$target" = platform ] && [ "$layer" != platform ] &&
             head -n 4 "src/$included" 2>/dev/null | grep -q 'Internal to the host layer'; then
            report "$file:$line: $layer includes \"$included\", which is internal to the host layer"
        fi
    done < <(grep -rnoE '^#\s*include\s*"[^"]+"' "$folder" --include='*.h' --include='*.cpp' |
             sed -E 's/^([^:]+):([0-9]+):#\s*include\s*"([^"]+)"$/\1:\2:\3/')
done
[ "$failed" = 0 ] && echo "every include points down"
exit "$failed"
