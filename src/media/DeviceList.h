// Parsing of the media tool's capture-device listings.
#pragma once
