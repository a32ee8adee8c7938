// The PNG and icon encoders, read back with libpng and by walking the icon format by hand.
#include <gtest/gtest.h>

#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "ico_encoder.h"
#include "png_encoder.h"

namespace {

RgbImage Pattern(int width, int height, int colours) {
    RgbImage image;
    image.width = width;
    image.height = height;
    for (int i = 0; i < width * height; ++i) {
        const int c = i % colours;
        image.rgb.push_back(static_cast<uint8_t>(c * 37));
        image.rgb.push_back(static_cast<uint8_t>(c / 7 * 11));
        image.rgb.push_back(static_cast<uint8_t>(255 - c));
    }
    return image;
}

uint32_t Big32(const std::vector<uint8_t>& bytes, size_t at) {
    return (uint32_t{bytes[at]} << 24) | (uint32_t{bytes[at + 1]} << 16) |
           (uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
}

uint32_t Little16(const std::vector<uint8_t>& bytes, size_t at) {
    return uint32_t{bytes[at]} | (uint32_t{bytes[at + 1]} << 8);
}

uint32_t Little32(const std::vector<uint8_t>& bytes, size_t at) {
    return Little16(bytes, at) | (Little16(bytes, at + 2) << 16);
}

std::vector<std::string> ChunkTypes(const std::vector<uint8_t>& png) {
    std::vector<std::string> types;
    for (size_t at = 8; at + 8 <= png.size(); at += 12 + Big32(png, at)) {
        types.emplace_back(reinterpret_cast<const char*>(&png[at + 4]), 4);
    }
    return types;
}

std::vector<uint8_t> DecodePixels(const std::vector<uint8_t>& bytes) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
        return {};
    }
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr);
    return rgb;
}

std::vector<uint8_t> ChunkData(const std::vector<uint8_t>& png, const std::string& type) {
    for (size_t at = 8; at + 8 <= png.size(); at += 12 + Big32(png, at)) {
        if (std::string(reinterpret_cast<const char*>(&png[at + 4]), 4) == type) {
            return std::vector<uint8_t>(png.begin() + at + 8,
                                        png.begin() + at + 8 + Big32(png, at));
        }
    }
    return {};
}

TEST(PngEncoder, RoundTripsPixelsWithTheStatedHeader) {
    for (const RgbImage& image : {Pattern(1, 1, 1), Pattern(3, 2, 5), Pattern(64, 33, 300)}) {
        SCOPED_TRACE(std::to_string(image.width) + "x" + std::to_string(image.height));
        const std::vector<uint8_t> png = EncodePng(image);
        EXPECT_EQ(DecodePixels(png), image.rgb);
        const std::vector<uint8_t> header = ChunkData(png, "IHDR");
        ASSERT_EQ(header.size(), 13u);
        EXPECT_EQ(Big32(header, 0), static_cast<uint32_t>(image.width));
        EXPECT_EQ(Big32(header, 4), static_cast<uint32_t>(image.height));
        // 8 bits, RGB, deflate, adaptive filters, not interlaced.
        EXPECT_EQ(std::vector<uint8_t>(header.begin() + 8, header.end()),
                  (std::vector<uint8_t>{8, 2, 0, 0, 0}));
        const std::vector<uint8_t> gamma = ChunkData(png, "gAMA");
        ASSERT_EQ(gamma.size(), 4u);
        EXPECT_EQ(Big32(gamma, 0), 45454u);
        const std::vector<uint8_t> chromaticities = ChunkData(png, "cHRM");
        ASSERT_EQ(chromaticities.size(), 32u);
        EXPECT_EQ(Big32(chromaticities, 0), 31270u) << "D65 white x";
    }
}

TEST(PngEncoder, WritesOnlyTheChunksItNeedsInOrder) {
    // No time stamp or text: the same pixels always give the same file.
    const std::vector<std::string> types = ChunkTypes(EncodePng(Pattern(40, 20, 9)));
    ASSERT_GE(types.size(), 5u);
    EXPECT_EQ(types[0], "IHDR");
    EXPECT_EQ(types[1], "gAMA");
    EXPECT_EQ(types[2], "cHRM");
    EXPECT_EQ(types.back(), "IEND");
    for (size_t i = 3; i + 1 < types.size(); ++i) {
        EXPECT_EQ(types[i], "IDAT");
    }
}

struct IconImage {
    uint32_t width;
    uint32_t height;
    uint32_t bitCount;
    uint32_t headerWidth;
    uint32_t headerHeight;
    uint32_t headerBits;
    std::vector<uint8_t> bits; // the bitmap, from its header on
};

std::vector<IconImage> ReadIcon(const std::vector<uint8_t>& ico) {
    std::vector<IconImage> images;
    if (ico.size() < 6 || Little16(ico, 0) != 0 || Little16(ico, 2) != 1) {
        return images;
    }
    for (uint32_t i = 0; i < Little16(ico, 4); ++i) {
        const size_t entry = 6 + i * 16;
        const uint32_t size = Little32(ico, entry + 8);
        const uint32_t offset = Little32(ico, entry + 12);
        IconImage image{ico[entry],
                        ico[entry + 1],
                        Little16(ico, entry + 6),
                        Little32(ico, offset + 4),
                        Little32(ico, offset + 8),
                        Little16(ico, offset + 14),
                        std::vector<uint8_t>(ico.begin() + offset, ico.begin() + offset + size)};
        images.push_back(image);
    }
    return images;
}

TEST(IconEncoder, HoldsAPalettedSixteenAndATrueColourThirtyTwo) {
    const std::vector<uint8_t> ico = EncodeIcon(Pattern(16, 16, 40), Pattern(32, 32, 700));
    const std::vector<IconImage> images = ReadIcon(ico);
    ASSERT_EQ(images.size(), 2u);
    struct Expected {
        uint32_t size;
        uint32_t bits;
        size_t bytes; // header + palette + colour rows + mask rows
    };
    const Expected expected[] = {{16, 8, 40 + 256 * 4 + 16 * 16 + 4 * 16},
                                 {32, 24, 40 + 32 * 96 + 4 * 32}};
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(images[i].width, expected[i].size);
        EXPECT_EQ(images[i].height, expected[i].size);
        EXPECT_EQ(images[i].bitCount, expected[i].bits);
        EXPECT_EQ(images[i].headerWidth, expected[i].size);
        EXPECT_EQ(images[i].headerHeight, expected[i].size * 2);
        EXPECT_EQ(images[i].headerBits, expected[i].bits);
        ASSERT_EQ(images[i].bits.size(), expected[i].bytes);
        // Opaque: every bit of the transparency mask is clear.
        const size_t maskBytes = 4 * expected[i].size; // 16 or 32 bits, padded to 4 bytes
        for (size_t at = expected[i].bytes - maskBytes; at < expected[i].bytes; ++at) {
            ASSERT_EQ(images[i].bits[at], 0) << "mask byte " << at;
        }
    }
}

TEST(IconEncoder, StoresPixelsBottomUpInBlueGreenRed) {
    RgbImage large = Pattern(32, 32, 1);
    large.rgb[0] = 10; // top-left pixel
    large.rgb[1] = 20;
    large.rgb[2] = 30;
    RgbImage small = Pattern(16, 16, 2);
    const std::vector<IconImage> images = ReadIcon(EncodeIcon(small, large));
    ASSERT_EQ(images.size(), 2u);
    const size_t topRow = 40 + 31 * 96;
    EXPECT_EQ(images[1].bits[topRow], 30);
    EXPECT_EQ(images[1].bits[topRow + 1], 20);
    EXPECT_EQ(images[1].bits[topRow + 2], 10);
    // Every small pixel names, through the palette, its own exact colour.
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const uint8_t index = images[0].bits[40 + 1024 + (15 - y) * 16 + x];
            const Rgb want = PixelAt(small, x, y);
            const uint8_t* quad = &images[0].bits[40 + index * 4];
            ASSERT_EQ((std::vector<int>{quad[2], quad[1], quad[0]}),
                      (std::vector<int>{want.red, want.green, want.blue}))
                << x << "," << y;
        }
    }
}

TEST(ChoosePalette, KeepsEveryColourUpToTwoHundredFiftySix) {
    struct Case {
        int colours;
        size_t paletteSize;
    };
    for (const Case& c : {Case{1, 1}, Case{200, 200}, Case{256, 256}, Case{1024, 256}}) {
        SCOPED_TRACE(c.colours);
        const RgbImage image = Pattern(32, 32, c.colours);
        const std::vector<Rgb> palette = ChoosePalette(image);
        EXPECT_EQ(palette.size(), c.paletteSize);
        int exact = 0;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                const Rgb pixel = PixelAt(image, x, y);
                const Rgb chosen = palette[NearestIndex(palette, pixel)];
                exact += chosen.red == pixel.red && chosen.green == pixel.green &&
                                 chosen.blue == pixel.blue
                             ? 1
                             : 0;
            }
        }
        // Each of the 1024 colours is used once; 256 of them make the palette.
        EXPECT_EQ(exact, c.colours <= 256 ? 1024 : 256);
    }
}

TEST(NearestIndex, PrefersTheFirstOfEqualCandidates) {
    const std::vector<Rgb> palette = {{0, 0, 0}, {10, 0, 0}, {20, 0, 0}, {10, 0, 0}};
    EXPECT_EQ(NearestIndex(palette, Rgb{14, 0, 0}), 1);
    EXPECT_EQ(NearestIndex(palette, Rgb{15, 0, 0}), 1);
    EXPECT_EQ(NearestIndex(palette, Rgb{16, 0, 0}), 2);
    EXPECT_EQ(NearestIndex(palette, Rgb{0, 0, 0}), 0);
}

} // namespace
