// PNG bytes for the layout picture: truecolour without alpha, not interlaced, with the sRGB
// gamma and chromaticities stated, compressed as far as zlib goes.
#pragma once

#include <cstdint>
#include <vector>

#include "rgb_image.h"

std::vector<uint8_t> EncodePng(const RgbImage& image);
