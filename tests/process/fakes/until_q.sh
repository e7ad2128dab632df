#!/bin/bash
# Fake media tool: runs until it reads "q" on standard input, then writes the output file named
# by its first argument (if any) and exits 0, as the real tool does.
printf 'Press [q] to stop, [?] for help\n'
while IFS= read -r line; do
    if [[ ${line%$'\r'} == q ]]; then
        if [[ -n $1 ]]; then
            printf 'recorded' >"$1"
        fi
        printf 'Exiting normally\n'
        exit 0
    fi
done
exit 1
