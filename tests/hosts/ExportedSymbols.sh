#!/usr/bin/env bash
# Checks that a plug-in binary exports nothing but its entry points: any other defined dynamic
# symbol (a library's, ours) could take the place of a host's or be taken by it.
# Usage: ExportedSymbols.sh BINARY ENTRY...
set -euo pipefail
binary=$1
shift
exported=$(nm -D --defined-only "$binary" | awk '{print $3}' | sort)
expected=$(printf '%s\n' "$@" | sort)
if [ "$exported" != "$expected" ]; then
    echo "$binary exports:"
    echo "$exported"
    echo "expected only:"
    echo "$expected"
    exit 1
fi
echo "$binary exports only: $(echo $exported)"
