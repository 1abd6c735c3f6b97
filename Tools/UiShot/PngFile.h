#pragma once
// PNG files of 32-bit pictures (written as RGB, read back with an opaque alpha).

#include <string>

#include "Other/ImageDraw.h"

bool kelWritePng(const std::string& path, const CBitmap32& bits, std::string* error);
bool kelReadPng(const std::string& path, CBitmap32* bits, std::string* error);
// The largest difference of one colour channel between two pictures of the
// same size (0..255), or -1 when their sizes differ.
int kelWorstChannelDifference(const CBitmap32& a, const CBitmap32& b);
