// Windows icon files: a 16x16 image with a 256-colour palette and a 32x32 image in 24-bit
// colour, both opaque (their transparency masks are all clear).
#pragma once

#include <cstdint>
#include <vector>

#include "rgb_image.h"

// The image's colours, most used first, at most 256 of them; the same pixels always give the
// same palette. A 16x16 image has 256 pixels, so its colours always fit exactly.
std::vector<Rgb> ChoosePalette(const RgbImage& image);

// Index of the palette colour nearest to the given one; the first wins a tie.
uint8_t NearestIndex(const std::vector<Rgb>& palette, Rgb colour);

std::vector<uint8_t> EncodeIcon(const RgbImage& small16, const RgbImage& large32);
