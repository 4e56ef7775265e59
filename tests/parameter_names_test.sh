#!/bin/sh
# Every parameterised case of the test programs names its parameter: a parameter that the test
# framework cannot print is listed, and reported on failure, as "N-byte object <...>", which does not
# say which case failed. Usage: parameter_names_test.sh EMULATOR PROGRAM... (EMULATOR may be empty).
emulator=$1
shift
status=0
for program in "$@"; do
    list=$($emulator "$program" --gtest_list_tests) || { echo "$program: cannot list its tests"; status=1; continue; }
    dumps=$(printf '%s\n' "$list" | grep -e '-byte object')
    if [ -n "$dumps" ]; then
        echo "$program: parameters without a name (give them a PrintTo):"
        printf '%s\n' "$dumps" | head -5
        status=1
    fi
done
exit $status
