#!/usr/bin/env bash
# Compares a built library's exported names with the merged export list:
# exactly the listed names are exported, nothing else, and every
# "alias = name" line shares the address of its target.
#   check_exports.sh so  <liborvdc.so>  <exports.txt> <nm>
#   check_exports.sh dll <orvdct7.dll> <exports.txt> <objdump>
set -euo pipefail
mode=$1 lib=$2 list=$3 tool=$4

expected=$(grep -v '^[[:space:]]*\(#\|$\)' "$list" | sed 's/[[:space:]]*=.*//' | sort)

# "name address" for every exported name.
if [ "$mode" = so ]; then
    table=$("$tool" -D --defined-only "$lib" | awk 'NF == 3 && $2 ~ /^[TtWiV]$/ { print $3, $1 }' | sed 's/@.*//' | sort)
else
    # The export address table gives ordinal -> RVA, the name pointer table
    # ordinal -> name.
    dump=$("$tool" -p "$lib")
    table=$(awk '
        /^Export Address Table/ { sect = "addr"; next }
        /^\[Ordinal\/Name Pointer\] Table/ { sect = "name"; next }
        /^$/ { if (sect == "name") sect = ""; next }
        sect == "addr" && /\[ *[0-9]+\]/ {
            line = $0; sub(/^[^]]*\] */, "", line); split(line, f, " "); rva[++n] = f[1]; next }
        sect == "name" && /\[ *[0-9]+\]/ {
            match($0, /\[ *[0-9]+\]/); ord = substr($0, RSTART + 1, RLENGTH - 2) + 0
            name = $NF; names[name] = ord; next }
        END { for (nm in names) print nm, rva[names[nm] + 1] }
    ' <<<"$dump" | sort)
fi

actual=$(awk '{ print $1 }' <<<"$table" | sort)
status=0
if [ "$expected" != "$actual" ]; then
    echo "export mismatch for $lib"
    diff <(echo "$expected") <(echo "$actual") | sed 's/^</  missing:/; s/^>/  unexpected:/' | grep -E 'missing|unexpected' || true
    status=1
fi

addr_of() { awk -v n="$1" '$1 == n { print $2 }' <<<"$table"; }
while read -r alias _ target; do
    a=$(addr_of "$alias"); t=$(addr_of "$target")
    if [ -z "$a" ] || [ "$a" != "$t" ]; then
        echo "alias $alias (${a:-absent}) does not share the address of $target (${t:-absent})"
        status=1
    fi
done < <(grep -E '^[A-Za-z0-9_]+[[:space:]]*=' "$list" | sed 's/=/ = /')

# Nothing of the library's own may run at load: the only initialiser allowed
# is the one entry the C runtime start-up files put into .init_array.
# (Sanitizer builds set ORVDC_ALLOW_INITIALISERS: their runtime needs them.)
if [ "$mode" = so ] && [ -z "${ORVDC_ALLOW_INITIALISERS:-}" ] && command -v readelf >/dev/null; then
    init_hex=$(readelf -SW "$lib" | sed 's/^ *\[ *[0-9]*\]//' | awk '$1 == ".init_array" { print $5 }')
    init_size=$(( ${init_hex:+16#$init_hex} + 0 ))
    ptr_size=$(readelf -hW "$lib" | awk '/Class:/ { print ($2 == "ELF64") ? 8 : 4 }')
    if [ -n "$init_size" ] && [ "$init_size" -gt "$ptr_size" ]; then
        echo "the library has static initialisers ($init_size bytes of .init_array)"
        status=1
    fi
fi

count=$(wc -l <<<"$expected")
if [ $status -eq 0 ]; then
    echo "$count names exported, aliases share their addresses: 1 passed, 0 failed"
fi
exit $status
