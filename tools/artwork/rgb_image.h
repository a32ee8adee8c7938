// An opaque picture, 8-bit red, green, blue per pixel, rows top to bottom.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb; // width * height * 3
};

struct Rgb {
    uint8_t red;
    uint8_t green;
    uint8_t blue;
};

inline Rgb PixelAt(const RgbImage& image, int x, int y) {
    const uint8_t* p = &image.rgb[(static_cast<size_t>(y) * image.width + x) * 3];
    return Rgb{p[0], p[1], p[2]};
}
