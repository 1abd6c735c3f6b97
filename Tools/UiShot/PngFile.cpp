// PNG reading and writing through libpng's simplified interface.
#include "Tools/UiShot/PngFile.h"

#include <png.h>

#include <algorithm>
#include <vector>

bool kelWritePng(const std::string& path, const CBitmap32& bits, std::string* error) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(bits.width);
    image.height = png_uint_32(bits.height);
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(size_t(bits.width) * size_t(bits.height) * 3);
    for (size_t i = 0; i < bits.pixels.size(); ++i) {
        const uint32_t p = bits.pixels[i];
        rgb[i * 3] = uint8_t(p >> 16), rgb[i * 3 + 1] = uint8_t(p >> 8), rgb[i * 3 + 2] = uint8_t(p);
    }
    if (!png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr)) {
        *error = path + ": " + image.message;
        return false;
    }
    return true;
}

bool kelReadPng(const std::string& path, CBitmap32* bits, std::string* error) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        *error = path + ": " + image.message;
        return false;
    }
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
        *error = path + ": " + image.message;
        png_image_free(&image);
        return false;
    }
    *bits = CBitmap32(int(image.width), int(image.height));
    for (size_t i = 0; i < bits->pixels.size(); ++i)
        bits->pixels[i] = 0xFF000000u | uint32_t(rgb[i * 3]) << 16 | uint32_t(rgb[i * 3 + 1]) << 8 | rgb[i * 3 + 2];
    return true;
}

int kelWorstChannelDifference(const CBitmap32& a, const CBitmap32& b) {
    if (a.width != b.width || a.height != b.height || a.pixels.size() != b.pixels.size()) return -1;
    int worst = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i)
        for (int shift : {0, 8, 16}) {
            const int d = int(a.pixels[i] >> shift & 255) - int(b.pixels[i] >> shift & 255);
            worst = std::max(worst, d < 0 ? -d : d);
        }
    return worst;
}
