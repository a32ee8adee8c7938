// The picture window's minimum outer size, enforced while the user drags a frame edge.
#pragma once

#include <cstdint>

// Same member order and meaning as the Win32 RECT, in screen coordinates.
struct SizingRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

constexpr int32_t kMinimumFrameWidth = 96;
constexpr int32_t kMinimumFrameHeight = 46;

// edge is the WMSZ_* code of WM_SIZING (1 left ... 8 bottom-right). Only the dragged edge moves.
SizingRect ApplyMinimumSize(uint32_t edge, SizingRect rect);
