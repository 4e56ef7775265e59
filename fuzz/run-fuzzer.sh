#!/bin/sh
# Runs one fuzz target for TARVO_FUZZ_TIME seconds (default 5) over its seed corpus.
# usage: run-fuzzer.sh [-m ENGINE_BUILD_DIR] [-s MORE_SEEDS] PROGRAM SEED_DIR WORK_DIR
#   -m  the built modules (*.dll there and in fixtures/) are seeds too
#   -s  a second folder of seeds
# New inputs go to WORK_DIR/corpus, crash, leak and time-out files to WORK_DIR/crashes (kept).
# TARVO_FUZZ_FRESH=1 (the short runs of make check) starts from the seeds alone, in a corpus
# folder of its own, so that what a long run found does not lengthen them.
set -eu
modules=
more=
while getopts m:s: opt; do
  case $opt in
    m) modules=$OPTARG ;;
    s) more=$(cd "$OPTARG" && pwd) ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
[ $# -eq 3 ] || { echo "usage: $0 [-m ENGINE_BUILD_DIR] [-s MORE_SEEDS] PROGRAM SEED_DIR WORK_DIR" >&2; exit 2; }
program=$1 seeds=$2 work=$3
# Absolute paths: a target may change its working folder.
mkdir -p "$work/corpus" "$work/crashes" "$work/modules"
work=$(cd "$work" && pwd)
seeds=$(cd "$seeds" && pwd)
seconds=${TARVO_FUZZ_TIME:-5}
corpus=$work/corpus
if [ "${TARVO_FUZZ_FRESH:-0}" = 1 ]; then
  corpus=$work/check-corpus
  rm -rf "$corpus"
  mkdir "$corpus"
fi

if [ -n "$modules" ]; then
  for dll in "$modules"/*.dll "$modules"/fixtures/*.dll; do
    if [ -f "$dll" ]; then cp "$dll" "$work/modules/"; fi
  done
fi

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"

exec "$program" -max_total_time="$seconds" -timeout=30 \
  -artifact_prefix="$work/crashes/" -print_final_stats=1 \
  "$corpus" "$seeds" "$work/modules" ${more:+"$more"}
