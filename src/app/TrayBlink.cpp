// The tray icon's blink while recording: a 32-tick cycle of the two recording images.
#include "app/TrayBlink.h"

TrayBlinkStep nextTrayBlink(int tick)
{
    if (tick < 16)
        return {tick + 1, TrayBlinkStep::Image::Rec1};
    if (tick < 31)
        return {tick + 1, TrayBlinkStep::Image::Rec2};
    return {0, TrayBlinkStep::Image::Keep};
}
