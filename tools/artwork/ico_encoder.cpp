#include "ico_encoder.h"

#include <functional>
#include <map>

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

uint32_t Key(Rgb colour) {
    return (static_cast<uint32_t>(colour.red) << 16) | (colour.green << 8) | colour.blue;
}

// Rows are stored bottom-up, each padded to a multiple of four bytes.
size_t RowBytes(int width, int bitsPerPixel) {
    return ((static_cast<size_t>(width) * bitsPerPixel + 31) / 32) * 4;
}

void PutBitmapHeader(std::vector<uint8_t>& out, int size, int bitsPerPixel, uint32_t colours,
                     size_t pixelBytes) {
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(size));
    Put32(out, static_cast<uint32_t>(size * 2)); // colour rows then mask rows
    Put16(out, 1);
    Put16(out, static_cast<uint32_t>(bitsPerPixel));
    Put32(out, 0); // BI_RGB
    Put32(out, static_cast<uint32_t>(pixelBytes));
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, colours);
    Put32(out, 0);
}

void PutOpaqueMask(std::vector<uint8_t>& out, int size) {
    out.insert(out.end(), RowBytes(size, 1) * size, 0);
}

std::vector<uint8_t> IndexedImage(const RgbImage& image) {
    const std::vector<Rgb> palette = ChoosePalette(image);
    const size_t rowBytes = RowBytes(image.width, 8);
    std::vector<uint8_t> out;
    PutBitmapHeader(out, image.width, 8, 256, (rowBytes + RowBytes(image.width, 1)) * image.height);
    for (size_t i = 0; i < 256; ++i) {
        const Rgb colour = i < palette.size() ? palette[i] : Rgb{0, 0, 0};
        out.push_back(colour.blue);
        out.push_back(colour.green);
        out.push_back(colour.red);
        out.push_back(0);
    }
    for (int y = image.height - 1; y >= 0; --y) {
        std::vector<uint8_t> row(rowBytes, 0);
        for (int x = 0; x < image.width; ++x) {
            row[x] = NearestIndex(palette, PixelAt(image, x, y));
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    PutOpaqueMask(out, image.height);
    return out;
}

std::vector<uint8_t> TrueColourImage(const RgbImage& image) {
    const size_t rowBytes = RowBytes(image.width, 24);
    std::vector<uint8_t> out;
    PutBitmapHeader(out, image.width, 24, 0, (rowBytes + RowBytes(image.width, 1)) * image.height);
    for (int y = image.height - 1; y >= 0; --y) {
        std::vector<uint8_t> row(rowBytes, 0);
        for (int x = 0; x < image.width; ++x) {
            const Rgb colour = PixelAt(image, x, y);
            row[x * 3] = colour.blue;
            row[x * 3 + 1] = colour.green;
            row[x * 3 + 2] = colour.red;
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    PutOpaqueMask(out, image.height);
    return out;
}

void PutDirectoryEntry(std::vector<uint8_t>& out, int size, int bitsPerPixel, size_t bytes,
                       size_t offset) {
    out.push_back(static_cast<uint8_t>(size));
    out.push_back(static_cast<uint8_t>(size));
    out.push_back(0); // colour count: 0 stands for 256 or more
    out.push_back(0);
    Put16(out, 1);
    Put16(out, static_cast<uint32_t>(bitsPerPixel));
    Put32(out, static_cast<uint32_t>(bytes));
    Put32(out, static_cast<uint32_t>(offset));
}

} // namespace

std::vector<Rgb> ChoosePalette(const RgbImage& image) {
    std::map<uint32_t, size_t> counts;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            ++counts[Key(PixelAt(image, x, y))];
        }
    }
    // Most used first, then by colour value: a fixed order for the same pixels.
    std::multimap<size_t, uint32_t, std::greater<size_t>> byCount;
    for (const auto& [key, count] : counts) {
        byCount.emplace(count, key);
    }
    std::vector<Rgb> palette;
    for (const auto& entry : byCount) {
        if (palette.size() == 256) {
            break;
        }
        palette.push_back(Rgb{static_cast<uint8_t>(entry.second >> 16),
                              static_cast<uint8_t>(entry.second >> 8),
                              static_cast<uint8_t>(entry.second)});
    }
    return palette;
}

uint8_t NearestIndex(const std::vector<Rgb>& palette, Rgb colour) {
    size_t best = 0;
    long bestDistance = -1;
    for (size_t i = 0; i < palette.size(); ++i) {
        const long dr = long{palette[i].red} - colour.red;
        const long dg = long{palette[i].green} - colour.green;
        const long db = long{palette[i].blue} - colour.blue;
        const long distance = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return static_cast<uint8_t>(best);
}

std::vector<uint8_t> EncodeIcon(const RgbImage& small16, const RgbImage& large32) {
    const std::vector<uint8_t> small = IndexedImage(small16);
    const std::vector<uint8_t> large = TrueColourImage(large32);
    std::vector<uint8_t> out;
    Put16(out, 0);
    Put16(out, 1); // icon
    Put16(out, 2);
    const size_t first = 6 + 2 * 16;
    PutDirectoryEntry(out, small16.width, 8, small.size(), first);
    PutDirectoryEntry(out, large32.width, 24, large.size(), first + small.size());
    out.insert(out.end(), small.begin(), small.end());
    out.insert(out.end(), large.begin(), large.end());
    return out;
}
