#!/bin/bash
# Stands in for the media tool in the library and cut tests. VISTREL_FAKE_MODE picks the act:
#   probe  - describes the input named after -i: "broken" reads as invalid data, "live" has
#            no known length, anything else lasts 00:02:07.52; exits 1 like the real probe
#   long   - a 100-hour input
#   hang   - prints a duration, then never exits (until killed)
#   crash  - writes some bytes to its output (the last argument), then dies by a signal
#   fail   - writes some bytes to its output, then exits 1
#   outgone - cannot find the folder of its output, and exits 1
#   denied - may not read its input, and exits 1
#   silent - exits 0 without writing anything
#   slow   - writes some bytes, prints one progress record, then waits quietly for "q"
#   touch  - adds a byte to its input, then runs the real tool ($VISTREL_REAL_TOOL)
out="${!#}"
input=""
prev=""
for arg in "$@"; do
    [ "$prev" = "-i" ] && input="$arg"
    prev="$arg"
done

case "$VISTREL_FAKE_MODE" in
probe)
    echo "Input #0, mov,mp4,m4a,3gp,3g2,mj2, from '$input':"
    case "$input" in
    *broken*) echo "$input: Invalid data found when processing input" ;;
    *live*) echo "  Duration: N/A, start: 0.000000, bitrate: N/A" ;;
    *) echo "  Duration: 00:02:07.52, start: 0.000000, bitrate: 1520 kb/s" ;;
    esac
    echo "At least one output file must be specified"
    exit 1
    ;;
long)
    echo "  Duration: 100:00:05.00, start: 0.000000, bitrate: 1 kb/s"
    exit 1
    ;;
hang)
    echo "  Duration: 00:00:42.00, start: 0.000000, bitrate: 1 kb/s"
    exec sleep 60
    ;;
crash)
    printf 'partial' >"$out"
    kill -SEGV $$
    ;;
fail)
    printf 'partial' >"$out"
    echo "Error writing trailer: No space left on device"
    exit 1
    ;;
outgone)
    echo "$out: No such file or directory"
    exit 1
    ;;
denied)
    echo "$input: Permission denied"
    exit 1
    ;;
silent)
    exit 0
    ;;
touch)
    printf 'x' >>"$input"
    exec "$VISTREL_REAL_TOOL" "$@"
    ;;
slow)
    printf 'partial' >"$out"
    printf 'frame=   10 fps=0.0 q=-1.0 size=       1kB time=00:00:01.00 bitrate=   8.0kbits/s speed=1x    \r'
    # Quiet from here on, as a tool stuck on a slow disk would be, until "q" arrives.
    while read -r -t 30 line; do
        case "$line" in q*) exit 0 ;; esac
    done
    exit 3
    ;;
esac
exit 2
