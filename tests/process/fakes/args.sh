#!/bin/bash
# Fake media tool: writes every argument after the first, each ended by a NUL byte, into the
# file named by the first argument, and prints each on a line of its own.
out=$1
shift
: >"$out"
for arg in "$@"; do
    printf '%s\0' "$arg" >>"$out"
    printf 'arg: %s\n' "$arg"
done
