#!/bin/sh
# Checks a built engine module against what the daemon's loader needs: a PE32
# i386 image with no entry point, no imported DLL, a base relocation directory,
# exactly one exported name, no static constructors or thread storage, and a
# version resource (or, with -n, no resource section at all).
# Exit status: 0 fine, 1 the module is wrong, 2 bad usage.
set -u

objdump=i686-w64-mingw32-objdump
export_name=TARVO_InitDll
want_resource=1

usage() {
    echo "usage: check-module.sh [-o OBJDUMP] [-e EXPORT] [-n] MODULE" >&2
    exit 2
}

while getopts o:e:n opt; do
    case $opt in
    o) objdump=$OPTARG ;;
    e) export_name=$OPTARG ;;
    n) want_resource=0 ;;
    *) usage ;;
    esac
done
shift $((OPTIND - 1))
[ $# -eq 1 ] || usage
module=$1

fail() {
    echo "check-module: $module: $*" >&2
    exit 1
}

[ -f "$module" ] || fail "no such file"
command -v "$objdump" >/dev/null 2>&1 || { echo "check-module: $objdump not found" >&2; exit 2; }

if ! dump=$("$objdump" -p "$module" 2>&1) || ! sections=$("$objdump" -h "$module" 2>&1); then
    fail "not a module: $(printf '%s\n' "$dump" | head -n 1)"
fi
case $dump$sections in
*"warning"* | *"error"*) fail "damaged: $(printf '%s\n%s\n' "$dump" "$sections" | grep -m 1 -E 'warning|error')" ;;
esac
printf '%s\n' "$dump" | grep -q 'file format pei-i386$' || fail "not a PE32 i386 module"

entry=$(printf '%s\n' "$dump" | awk '$1 == "AddressOfEntryPoint" { print $2 }')
[ "$entry" = 00000000 ] || fail "has an entry point ($entry)"

dlls=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: *//p' | paste -sd ' ' -)
[ -z "$dlls" ] || fail "imports $dlls"

# Size word of a data directory entry ("Entry 5 00005000 00000018 Base Relocation ...").
directory_size() {
    printf '%s\n' "$dump" | awk -v n="$1" '$1 == "Entry" && $2 == n { print $4 }'
}
relocations=$(directory_size 5)
[ -n "$relocations" ] && [ "$relocations" != 00000000 ] || fail "has no base relocation directory"
[ "$(directory_size 9)" = 00000000 ] || fail "has a thread storage directory"

names=$(printf '%s\n' "$dump" | awk '
    /^\[Ordinal\/Name Pointer\] Table/ { on = 1; next }
    on && NF == 0 { on = 0 }
    on { sub(/^[[:space:]]*\[[[:space:]]*[0-9]+\][[:space:]]*/, ""); print }')
[ -n "$names" ] || fail "exports nothing"
[ "$names" = "$export_name" ] || fail "exports $(printf '%s\n' "$names" | paste -sd ' ' -) instead of only $export_name"

section_names=$(printf '%s\n' "$sections" | awk '$1 ~ /^[0-9]+$/ { print $2 }')
for name in $section_names; do
    case $name in
    .ctors* | .dtors* | .init_array* | .fini_array* | .CRT* | .tls*) fail "has a $name section" ;;
    esac
done

resources=$(directory_size 2)
if [ $want_resource -eq 1 ]; then
    [ -n "$resources" ] && [ "$resources" != 00000000 ] || fail "has no resource directory"
    # A type-level entry of the resource tree for version information (type 16).
    printf '%s\n' "$dump" | grep -Eq '^[0-9a-f]+   Entry: ID: 0x0*10,' || fail "has no version resource"
else
    [ "$resources" = 00000000 ] || fail "has a resource directory"
    for name in $section_names; do
        [ "$name" != .rsrc ] || fail "has a .rsrc section"
    done
fi
exit 0
