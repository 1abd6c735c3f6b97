// PNG reading and writing through libpng's simplified interface.
#include "Tools/UiShot/PngFile.h"

#include <png.h>

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
