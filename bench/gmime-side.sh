#!/bin/sh
# Builds and runs a GMime 3 side of the MIME benchmarks (bench/mimetree_gmime.c, bench/mimecodecs_gmime.c)
# with the arguments given. Installs Debian's libgmime-3.0-dev when it is missing; says why when it cannot.
# usage: gmime-side.sh SOURCE.c [ARGUMENTS...]
set -u
here=$(cd "$(dirname "$0")" && pwd)
source=$1
shift
if ! pkg-config --exists gmime-3.0 2>/dev/null; then
  echo "installing libgmime-3.0-dev" >&2
  if [ "$(id -u)" = 0 ]; then sudo=; elif command -v sudo >/dev/null; then sudo="sudo -n"; else
    echo "libgmime-3.0-dev is missing and cannot be installed without root"; exit 1
  fi
  if ! { $sudo apt-get install -y -q libgmime-3.0-dev >/dev/null 2>&1 ||
         { $sudo apt-get update -q >/dev/null 2>&1 && $sudo apt-get install -y -q libgmime-3.0-dev >/dev/null 2>&1; }; }; then
    echo "libgmime-3.0-dev is missing and apt-get could not install it"; exit 1
  fi
fi
program=$(mktemp /tmp/tarvo-gmimebench-XXXXXX) || exit 1
trap 'rm -f "$program"' EXIT
if ! cc -O2 -o "$program" "$source" $(pkg-config --cflags --libs gmime-3.0) 2>&1; then
  echo "the GMime side does not build"; exit 1
fi
"$program" "$@"
