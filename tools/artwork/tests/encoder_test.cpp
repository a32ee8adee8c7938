// The PNG and icon encoders round-tripped: PNG read back with libpng, icons by walking the format
// by hand as Windows reads it.
#include <gtest/gtest.h>

#include <png.h>

#include <cstring>
#include <string>

#include "ico_encoder.h"
#include "png_encoder.h"

namespace {

// Cycles through the given number of colours; up to 256 of them are all distinct.
RgbImage Pattern(int width, int height, int colours) {
    RgbImage image{width, height, {}};
    for (int i = 0; i < width * height; ++i) {
        const int c = i % colours;
        image.rgb.insert(image.rgb.end(),
                         {static_cast<uint8_t>(c * 37), static_cast<uint8_t>(c / 7 * 11),
                          static_cast<uint8_t>(255 - c)});
    }
    return image;
}

TEST(PngEncoder, RoundTripsThePixels) {
    for (const RgbImage& image : {Pattern(1, 1, 1), Pattern(3, 2, 5), Pattern(64, 33, 300)}) {
        SCOPED_TRACE(std::to_string(image.width) + "x" + std::to_string(image.height));
        const std::vector<uint8_t> png = EncodePng(image);
        png_image read;
        std::memset(&read, 0, sizeof read);
        read.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_memory(&read, png.data(), png.size()));
        read.format = PNG_FORMAT_RGB;
        std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(read));
        ASSERT_TRUE(png_image_finish_read(&read, nullptr, rgb.data(), 0, nullptr));
        EXPECT_EQ(rgb, image.rgb);
    }
}

uint32_t Little(const std::vector<uint8_t>& bytes, size_t at, size_t width) {
    uint32_t value = 0;
    for (size_t i = 0; i < width; ++i) {
        value |= uint32_t{bytes.at(at + i)} << (8 * i);
    }
    return value;
}

TEST(IconEncoder, RoundTripsA256ColourSixteenAndATrueColourThirtyTwoBothOpaque) {
    const RgbImage images[] = {Pattern(16, 16, 256), Pattern(32, 32, 700)};
    const std::vector<uint8_t> ico = EncodeIcon(images[0], images[1]);
    ASSERT_EQ(Little(ico, 0, 4), 0x10000u) << "reserved, then type 1: icon";
    ASSERT_EQ(Little(ico, 4, 2), 2u);
    const struct {
        uint32_t size, bits, paletteBytes;
    } expected[] = {{16, 8, 256 * 4}, {32, 24, 0}};
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(expected[i].size);
        const uint32_t size = expected[i].size, bits = expected[i].bits;
        const size_t entry = 6 + 16 * i, at = Little(ico, entry + 12, 4);
        // The directory's width, height and bits, then the bitmap header's, whose height counts
        // the colour rows and the mask rows.
        EXPECT_EQ((std::vector<uint32_t>{Little(ico, entry, 1), Little(ico, entry + 1, 1),
                                         Little(ico, entry + 6, 2), Little(ico, at + 4, 4),
                                         Little(ico, at + 8, 4), Little(ico, at + 14, 2)}),
                  (std::vector<uint32_t>{size, size, bits, size, 2 * size, bits}));
        // Rows bottom up, each padded to four bytes; colours blue, green, red, in the palette
        // for eight bits.
        const size_t palette = at + 40, pixels = palette + expected[i].paletteBytes;
        const size_t colourRow = (size * bits / 8 + 3) / 4 * 4, maskRow = 4;
        ASSERT_EQ(Little(ico, entry + 8, 4), pixels - at + (colourRow + maskRow) * size);
        RgbImage decoded{static_cast<int>(size), static_cast<int>(size), {}};
        for (size_t y = 0; y < size; ++y) {
            const size_t row = pixels + (size - 1 - y) * colourRow;
            for (size_t x = 0; x < size; ++x) {
                const size_t bgr = bits == 8 ? palette + 4 * ico.at(row + x) : row + 3 * x;
                decoded.rgb.insert(decoded.rgb.end(), {ico.at(bgr + 2), ico.at(bgr + 1), ico[bgr]});
            }
        }
        EXPECT_EQ(decoded.rgb, images[i].rgb);
        const size_t mask = pixels + colourRow * size;
        ASSERT_LE(mask + maskRow * size, ico.size());
        EXPECT_EQ(std::vector<uint8_t>(ico.begin() + mask, ico.begin() + mask + maskRow * size),
                  std::vector<uint8_t>(maskRow * size, 0))
            << "opaque";
    }
}

} // namespace
