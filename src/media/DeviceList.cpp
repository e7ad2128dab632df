// Parsing of the media tool's capture-device listings.
#include "media/DeviceList.h"
