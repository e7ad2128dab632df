// Capture device discovery on the window.
#include "app/DRUI.h"

void DRUI::ReadDeviceInfo() {}
void DRUI::get_audiodevice_name() {}
