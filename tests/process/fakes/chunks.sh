#!/bin/bash
# Fake media tool: writes each argument after the first in a write of its own (printf %b
# escapes, a pause between writes so they arrive as separate reads), then exits with the code
# given as the first argument.
code=$1
shift
for chunk in "$@"; do
    printf '%b' "$chunk"
    sleep 0.1
done
exit "$code"
