// The tray icon's blink while recording: a 32-tick cycle of the two recording images.
#pragma once

// One tick of the blink: the counter's next value and the image to show.
struct TrayBlinkStep {
    enum class Image {
        Keep, // leave the icon as it is
        Rec1, // ":/image/rec1.png"
        Rec2, // ":/image/rec2.png"
    };
    int tick = 0;
    Image image = Image::Keep;
};

// The step after counter value `tick` (0 after start-up). At 200 ms a tick the icon shows the
// first image for 3.2 s and the second for 3.2 s.
TrayBlinkStep nextTrayBlink(int tick);
