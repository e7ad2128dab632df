#!/bin/bash
# Fake media tool: prints a progress record, then dies of a segmentation fault.
printf 'frame=    1 fps=0.0 q=0.0 size=       0kB time=00:00:00.03 bitrate=N/A\r'
kill -SEGV $$
