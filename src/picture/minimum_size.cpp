#include "minimum_size.h"

namespace {

constexpr uint32_t kEdgeLeft = 1;
constexpr uint32_t kEdgeRight = 2;
constexpr uint32_t kEdgeTop = 3;
constexpr uint32_t kEdgeTopLeft = 4;
constexpr uint32_t kEdgeTopRight = 5;
constexpr uint32_t kEdgeBottom = 6;
constexpr uint32_t kEdgeBottomLeft = 7;
constexpr uint32_t kEdgeBottomRight = 8;

// Sizes are computed in 64 bits so that extreme coordinates cannot overflow; the moved edge is
// clamped to the 32-bit range for the same reason.
int32_t Clamp32(int64_t value) {
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    if (value < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(value);
}

} // namespace

SizingRect ApplyMinimumSize(uint32_t edge, SizingRect rect) {
    const int64_t width = static_cast<int64_t>(rect.right) - rect.left;
    if (width < kMinimumFrameWidth) {
        if (edge == kEdgeLeft || edge == kEdgeTopLeft || edge == kEdgeBottomLeft) {
            rect.left = Clamp32(static_cast<int64_t>(rect.right) - kMinimumFrameWidth);
        } else if (edge == kEdgeRight || edge == kEdgeTopRight || edge == kEdgeBottomRight) {
            rect.right = Clamp32(static_cast<int64_t>(rect.left) + kMinimumFrameWidth);
        }
    }
    const int64_t height = static_cast<int64_t>(rect.bottom) - rect.top;
    if (height < kMinimumFrameHeight) {
        if (edge == kEdgeTop || edge == kEdgeTopLeft || edge == kEdgeTopRight) {
            rect.top = Clamp32(static_cast<int64_t>(rect.bottom) - kMinimumFrameHeight);
        } else if (edge == kEdgeBottom || edge == kEdgeBottomLeft || edge == kEdgeBottomRight) {
            rect.bottom = Clamp32(static_cast<int64_t>(rect.top) + kMinimumFrameHeight);
        }
    }
    return rect;
}
