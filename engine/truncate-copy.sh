#!/bin/sh
# Writes the first half of a module: its headers survive, its section data
# stops short.
set -eu
[ $# -eq 2 ] || { echo "usage: truncate-copy.sh IN OUT" >&2; exit 2; }
size=$(wc -c <"$1")
head -c $((size / 2)) "$1" >"$2"
