#!/bin/bash
# Fake media tool that hangs and ignores "q". With the argument "kill" it ignores terminate
# too, so only a kill ends it. It starts no child process, so nothing outlives it.
if [[ $1 == kill ]]; then
    trap '' TERM
fi
printf 'Press [q] to stop, [?] for help\n'
while :; do
    read -r -t 0.2 _ || true
done
