#pragma once
// The palette of the asset source as the program keeps it.

#include "Other/Palette.h"
#include "Tools/ImageSetGen/AssetSource.h"

// False with a message for a colour that is not "#RRGGBB".
bool kelPaletteFromSource(const AssetSource& src, CPalette* out, std::string* error);
