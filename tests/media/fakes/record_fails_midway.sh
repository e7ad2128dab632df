#!/bin/sh
# Stands in for the media tool in a recording: captures for a moment, then loses the screen
# and exits 1, as the real tool does when its X display goes away.
echo "Input #0, x11grab, from ':0+0,0':"
i=1
while [ $i -le 15 ]; do
    printf 'frame=%5d fps= 30 q=13.0 size=       0kB time=00:00:00.%02d bitrate=N/A speed=1x\r' \
        $i $((i * 3))
    sleep 0.1
    i=$((i + 1))
done
echo
echo "Error while filtering: Input/output error"
echo "[x11grab @ 0x55d0c0] Cannot get the screen image: the X display went away"
exit 1
