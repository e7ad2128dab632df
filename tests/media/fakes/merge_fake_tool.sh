#!/bin/bash
# Stands in for the media tool in the merge tests. Runs go to the real tool
# ($VISTREL_REAL_TOOL), except those of the stage VISTREL_FAKE_STAGE names: "convert" (a run
# writing a transport stream) or "join" (a run reading "concat:"). Those act as
# VISTREL_FAKE_MODE says:
#   slow   - writes some bytes to its output (the last argument), prints one progress record,
#            then waits quietly for "q"
#   fail   - writes some bytes, reports invalid data, exits 1
#   crash  - writes some bytes, then dies by a signal
#   silent - exits 0 without writing anything
#   full   - writes some bytes, then fails as on a full disk
#   mute   - runs the real tool, leaving the sound out
#   touch  - adds a byte to the file $VISTREL_FAKE_TOUCH, then runs the real tool
out="${!#}"
stage=""
for arg in "$@"; do
    case "$arg" in
    concat:*) stage=join ;;
    mpegts) stage=convert ;;
    esac
done
if [ -z "$stage" ] || [ "$stage" != "$VISTREL_FAKE_STAGE" ]; then
    exec "$VISTREL_REAL_TOOL" "$@"
fi

case "$VISTREL_FAKE_MODE" in
slow)
    printf 'partial' >"$out"
    printf 'frame=   10 fps=0.0 q=-1.0 size=       1kB time=00:00:00.30 bitrate=   8.0kbits/s speed=0.1x    \r'
    while read -r -t 30 line; do
        case "$line" in q*) exit 0 ;; esac
    done
    exit 3
    ;;
fail)
    printf 'partial' >"$out"
    echo "1.ts: Invalid data found when processing input"
    exit 1
    ;;
crash)
    printf 'partial' >"$out"
    kill -SEGV $$
    ;;
silent)
    exit 0
    ;;
touch)
    printf 'x' >>"$VISTREL_FAKE_TOUCH"
    exec "$VISTREL_REAL_TOOL" "$@"
    ;;
mute)
    exec "$VISTREL_REAL_TOOL" "${@:1:$#-1}" -an "$out"
    ;;
full)
    printf 'partial' >"$out"
    echo "[mpegts @ 0x5] Error writing trailer: No space left on device"
    exit 1
    ;;
esac
exit 2
