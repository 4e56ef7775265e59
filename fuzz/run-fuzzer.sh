#!/bin/sh
# Runs one fuzz target for TARVO_FUZZ_TIME seconds (default 5) over its seed corpus.
# usage: run-fuzzer.sh [-e EMULATOR] [-m ENGINE_BUILD_DIR] PROGRAM SEED_DIR WORK_DIR
#   -m  the built modules (*.dll there and in fixtures/) are seeds too
# New inputs go to WORK_DIR/corpus, crash, leak and time-out files to WORK_DIR/crashes (kept).
set -eu
emulator=
modules=
while getopts e:m: opt; do
  case $opt in
    e) emulator=$OPTARG ;;
    m) modules=$OPTARG ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
[ $# -eq 3 ] || { echo "usage: $0 [-e EMULATOR] [-m ENGINE_BUILD_DIR] PROGRAM SEED_DIR WORK_DIR" >&2; exit 2; }
program=$1 seeds=$2 work=$3
# Absolute paths: a target may change its working folder.
mkdir -p "$work/corpus" "$work/crashes" "$work/modules"
work=$(cd "$work" && pwd)
seeds=$(cd "$seeds" && pwd)
seconds=${TARVO_FUZZ_TIME:-5}

if [ -n "$modules" ]; then
  for dll in "$modules"/*.dll "$modules"/fixtures/*.dll; do
    [ -f "$dll" ] && cp "$dll" "$work/modules/"
  done
fi

# LeakSanitizer cannot stop the world under a user-mode emulator.
leaks=1
[ -n "$emulator" ] && leaks=0
export ASAN_OPTIONS="detect_leaks=$leaks:abort_on_error=0:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"

# shellcheck disable=SC2086 # the emulator is empty or one word
exec $emulator "$program" -max_total_time="$seconds" -timeout=30 -detect_leaks=$leaks \
  -artifact_prefix="$work/crashes/" -print_final_stats=1 \
  "$work/corpus" "$seeds" "$work/modules"
