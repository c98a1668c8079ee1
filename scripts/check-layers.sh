#!/usr/bin/env bash
# The house is read as floors: a folder of the product may include only itself and the
# folders below it. This check reads every #include "…" of the product code and fails, naming
# the file and line, when one points up a floor or at a folder that has no floor, or when the
# batch reaches into the views. It also keeps the window toolkit and OpenGL out of every floor
# that must run without a screen.
#   scripts/check-layers.sh          check the working tree
set -euo pipefail
cd "$(dirname "$0")/.."

# The floors, top to bottom. Written here once; the README's layout table follows it.
floors=(app batch view mill insole solid pressure scan imagefile base)

# Floors that stand side by side although one is listed above the other: tarsola-batch has no
# screen, so it makes the insole from insole/ and never from what shows it.
apart=(batch:view)

# Where <FL/…> and <GL/…> may be included: the windows, and the OpenGL views with the dialogs
# that Load and Save show. Everything else runs in tarsola-batch, which has no screen.
window_code='^(app/|view/)'

declare -A level
for i in "${!floors[@]}"; do
    level[${floors[$i]}]=$i
done

status=0
complain() {
    echo "$1" >&2
    status=1
}

for folder in "${floors[@]}"; do
    [ -d "$folder" ] || continue
    while IFS= read -r -d '' file; do
        own=${level[$folder]}
        line_no=0
        while IFS= read -r line; do
            line_no=$((line_no + 1))
            if [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([^\"]*)\" ]]; then
                target=${BASH_REMATCH[1]}
                if [[ $target != */* ]]; then
                    complain "$file:$line_no: #include \"$target\" names no folder; write it as \"folder/file\""
                    continue
                fi
                to=${target%%/*}
                if [ -z "${level[$to]+set}" ]; then
                    complain "$file:$line_no: #include \"$target\": $to/ is not a floor of the house (${floors[*]})"
                elif [ "${level[$to]}" -lt "$own" ]; then
                    complain "$file:$line_no: #include \"$target\" runs up from $folder/ to $to/"
                elif [[ " ${apart[*]} " == *" $folder:$to "* ]]; then
                    complain "$file:$line_no: #include \"$target\": $folder/ must not use $to/"
                fi
            elif [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<((FL|GL)/[^\>]*)\> ]]; then
                if ! [[ $file =~ $window_code ]]; then
                    complain "$file:$line_no: #include <${BASH_REMATCH[1]}>: only the windows, the views and the dialogs may use the window toolkit or OpenGL"
                fi
            fi
        done <"$file"
    done < <(find "$folder" -type f \( -name '*.h' -o -name '*.cpp' \) -print0 | sort -z)
done

if [ "$status" -eq 0 ]; then
    echo "Layers: every include of ${floors[*]} points down or sideways."
fi
exit "$status"
