#!/usr/bin/env bash
# Checks that each engine file exports exactly the entry points of the list:
# none missing, none extra.
set -euo pipefail
list=$1; shift
expected=$(grep -o '^FMOD_ENTRY([A-Za-z0-9_]*' "$list" | sed 's/^FMOD_ENTRY(//' | sort)
count=$(printf '%s\n' "$expected" | wc -l)
status=0
for library in "$@"; do
  actual=$(nm -D --defined-only "$library" | awk '$2 ~ /^[TtWi]$/ {print $3}' | sed 's/@.*//' | sort)
  if [ "$actual" != "$expected" ]; then
    echo "$library: exports differ from the list"
    diff <(printf '%s\n' "$expected") <(printf '%s\n' "$actual") | head -20
    status=1
  else
    echo "$library: exports exactly the $count entry points"
  fi
done
exit $status
