#pragma once
// PNG files of 32-bit pictures (written as RGB, read back with an opaque alpha).

#include <string>

#include "Other/ImageDraw.h"

bool kelWritePng(const std::string& path, const CBitmap32& bits, std::string* error);
bool kelReadPng(const std::string& path, CBitmap32* bits, std::string* error);
