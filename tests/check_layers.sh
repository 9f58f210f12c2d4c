#!/usr/bin/env bash
# Checks the engine's layers: every quoted include of a layer's sources names
# a header of that layer, of a layer below it, or one of the published
# declarations; none reaches another folder by a path. (The build enforces
# the same through each layer's include directories; this also catches a
# relative path, which include directories do not stop.)
set -euo pipefail
src=$1
declare -A below=(
  [base]="base"
  [core]="core base"
  [io]="io core base"
  [backends]="backends core base"
  [api]="api io backends core base"
)
status=0
for layer in "${!below[@]}"; do
  for file in "$src/$layer"/*.cpp "$src/$layer"/*.h; do
    [ -e "$file" ] || continue
    while IFS= read -r header; do
      case "$header" in
        */*) echo "$file: includes \"$header\" by a path"; status=1; continue ;;
        Tembro.Audio.FMOD.Lib.API.h | Tembro.Audio.FMOD.Lib.Errors.h)
          echo "$file: includes the binding's \"$header\""; status=1; continue ;;
        Tembro.Audio.FMOD.Lib.*) continue ;;
      esac
      found=""
      for allowed in ${below[$layer]}; do
        [ -e "$src/$allowed/$header" ] && found=$allowed
      done
      if [ -z "$found" ]; then
        echo "$file: includes \"$header\", which is not in ${below[$layer]}"
        status=1
      fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
  done
done
[ $status -eq 0 ] && echo "every layer includes only itself, the layers below it and the declarations"
exit $status
