// Any drag rectangle and edge code, extremes included: no overflow, only the dragged edges move,
// and on the coordinates a screen can have the rule gives the plain 32-bit result.
//
// Input: edge (u32), left, top, right, bottom (i32 each), shape (u8: bit 0 folds every
// coordinate into the ordinary range, bit 1 reads right and bottom as offsets from left and top,
// which makes small and inverted rectangles common).
#include "picture/minimum_size.h"

#include "fuzz_input.h"

#include <climits>

namespace {

// Coordinates strictly inside +-2^30: every difference and sum of the rule fits in 32 bits.
constexpr int32_t kOrdinaryLimit = 1 << 30;

bool IsOrdinary(int32_t value) {
    return value > -kOrdinaryLimit && value < kOrdinaryLimit;
}

bool IsOrdinary(const SizingRect& r) {
    return IsOrdinary(r.left) && IsOrdinary(r.top) && IsOrdinary(r.right) && IsOrdinary(r.bottom);
}

int32_t Saturate(int64_t value) {
    return value > INT32_MAX   ? INT32_MAX
           : value < INT32_MIN ? INT32_MIN
                               : static_cast<int32_t>(value);
}

bool In(uint32_t edge, uint32_t a, uint32_t b, uint32_t c) {
    return edge == a || edge == b || edge == c;
}

// The rule as written, in plain int32 arithmetic; only valid for ordinary rectangles.
SizingRect PlainRule(uint32_t edge, SizingRect r) {
    if (r.right - r.left < 96) {
        if (In(edge, 1, 4, 7)) {
            r.left = r.right - 96;
        } else if (In(edge, 2, 5, 8)) {
            r.right = r.left + 96;
        }
    }
    if (r.bottom - r.top < 46) {
        if (In(edge, 3, 4, 5)) {
            r.top = r.bottom - 46;
        } else if (In(edge, 6, 7, 8)) {
            r.bottom = r.top + 46;
        }
    }
    return r;
}

// One dimension: low and high are the two edges, each dragged or not.
void CheckDimension(int32_t low, int32_t high, int32_t newLow, int32_t newHigh, bool lowDragged,
                    bool highDragged, int64_t minimum) {
    if (!lowDragged) {
        FUZZ_REQUIRE(newLow == low);
    }
    if (!highDragged) {
        FUZZ_REQUIRE(newHigh == high);
    }
    const int64_t before = static_cast<int64_t>(high) - low;
    const int64_t after = static_cast<int64_t>(newHigh) - newLow;
    if (before >= minimum) {
        FUZZ_REQUIRE(newLow == low && newHigh == high);
        return;
    }
    if (!lowDragged && !highDragged) {
        return;
    }
    // The dragged edge lands exactly the minimum away from the other one, or at the limit of
    // the coordinate range when that is out of reach.
    if (lowDragged) {
        FUZZ_REQUIRE(newLow == Saturate(static_cast<int64_t>(high) - minimum));
    }
    if (highDragged) {
        FUZZ_REQUIRE(newHigh == Saturate(static_cast<int64_t>(low) + minimum));
    }
    const bool clamped =
        (lowDragged && newLow == INT32_MIN) || (highDragged && newHigh == INT32_MAX);
    FUZZ_REQUIRE(after >= minimum || clamped);
    FUZZ_REQUIRE(after >= before);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const uint32_t edge = input.U32();
    SizingRect r{input.I32(), input.I32(), input.I32(), input.I32()};
    const uint8_t shape = input.U8();
    if (shape & 2) {
        r.right = Saturate(static_cast<int64_t>(r.left) + r.right);
        r.bottom = Saturate(static_cast<int64_t>(r.top) + r.bottom);
    }
    if (shape & 1) {
        r = SizingRect{r.left % kOrdinaryLimit, r.top % kOrdinaryLimit, r.right % kOrdinaryLimit,
                      r.bottom % kOrdinaryLimit};
    }

    const SizingRect result = ApplyMinimumSize(edge, r);

    CheckDimension(r.left, r.right, result.left, result.right, In(edge, 1, 4, 7), In(edge, 2, 5, 8),
                   kMinimumFrameWidth);
    CheckDimension(r.top, r.bottom, result.top, result.bottom, In(edge, 3, 4, 5), In(edge, 6, 7, 8),
                   kMinimumFrameHeight);
    if (IsOrdinary(r)) {
        const SizingRect plain = PlainRule(edge, r);
        FUZZ_REQUIRE(result.left == plain.left && result.top == plain.top &&
                     result.right == plain.right && result.bottom == plain.bottom);
    }
    return 0;
}
