#pragma once
// The drawing recipes of the image-set generator: each draws the images of
// one group of Definitions/UI/Assets.xml at the authoring scale.

#include <string>
#include <vector>

#include "Tools/ImageSetGen/AssetSource.h"
#include "Tools/ImageSetGen/Packer.h"

// Draws a group's images (indices first .. first + frames - 1); false with a
// message for an unknown recipe or shape.
bool drawGroup(const AssetGroup& group, std::vector<DrawnImage>* out, std::string* error);
