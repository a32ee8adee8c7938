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

struct Decoded {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colourType = -1;
    int interlace = -1;
    png_fixed_point gamma = 0;
    bool hasChromaticities = false;
    png_fixed_point white[2] = {};
    std::vector<uint8_t> rgb;
};

Decoded DecodePng(const std::vector<uint8_t>& bytes) {
    Decoded out;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    // The simplified API for the pixels, the low-level one for the header chunks.
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
        return out;
    }
    image.format = PNG_FORMAT_RGB;
    out.rgb.resize(PNG_IMAGE_SIZE(image));
    png_image_finish_read(&image, nullptr, out.rgb.data(), 0, nullptr);

    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    struct Reader {
        const std::vector<uint8_t>* bytes;
        size_t at;
    } reader{&bytes, 0};
    png_set_read_fn(png, &reader, [](png_structp p, png_bytep data, png_size_t length) {
        auto* r = static_cast<Reader*>(png_get_io_ptr(p));
        std::memcpy(data, r->bytes->data() + r->at, length);
        r->at += length;
    });
    png_read_info(png, info);
    png_get_IHDR(png, info, &out.width, &out.height, &out.bitDepth, &out.colourType, &out.interlace,
                 nullptr, nullptr);
    png_get_gAMA_fixed(png, info, &out.gamma);
    png_fixed_point red[2], green[2], blue[2];
    out.hasChromaticities =
        png_get_cHRM_fixed(png, info, &out.white[0], &out.white[1], &red[0], &red[1], &green[0],
                           &green[1], &blue[0], &blue[1]) != 0;
    png_destroy_read_struct(&png, &info, nullptr);
    return out;
}

TEST(PngEncoder, RoundTripsPixelsWithTheStatedHeader) {
    struct Case {
        int width;
        int height;
        int colours;
    };
    for (const Case& c : {Case{1, 1, 1}, Case{3, 2, 5}, Case{17, 5, 85}, Case{64, 33, 300}}) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        const RgbImage image = Pattern(c.width, c.height, c.colours);
        const Decoded decoded = DecodePng(EncodePng(image));
        EXPECT_EQ(decoded.width, static_cast<png_uint_32>(c.width));
        EXPECT_EQ(decoded.height, static_cast<png_uint_32>(c.height));
        EXPECT_EQ(decoded.bitDepth, 8);
        EXPECT_EQ(decoded.colourType, PNG_COLOR_TYPE_RGB);
        EXPECT_EQ(decoded.interlace, PNG_INTERLACE_NONE);
        EXPECT_EQ(decoded.gamma, 45454);
        EXPECT_TRUE(decoded.hasChromaticities);
        EXPECT_EQ(decoded.white[0], 31270);
        EXPECT_EQ(decoded.white[1], 32900);
        EXPECT_EQ(decoded.rgb, image.rgb);
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

TEST(ChoosePalette, PutsTheMostUsedColourFirst) {
    RgbImage image = Pattern(4, 4, 1);
    image.rgb[0] = 255;
    const std::vector<Rgb> palette = ChoosePalette(image);
    ASSERT_EQ(palette.size(), 2u);
    EXPECT_EQ(palette[0].red, 0);
    EXPECT_EQ(palette[1].red, 255);
}

TEST(NearestIndex, PrefersTheFirstOfEqualCandidates) {
    const std::vector<Rgb> palette = {{0, 0, 0}, {10, 0, 0}, {20, 0, 0}, {10, 0, 0}};
    EXPECT_EQ(NearestIndex(palette, Rgb{14, 0, 0}), 1);
    EXPECT_EQ(NearestIndex(palette, Rgb{15, 0, 0}), 1);
    EXPECT_EQ(NearestIndex(palette, Rgb{16, 0, 0}), 2);
    EXPECT_EQ(NearestIndex(palette, Rgb{0, 0, 0}), 0);
}

} // namespace
