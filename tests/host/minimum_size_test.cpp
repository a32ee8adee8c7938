#include "picture/minimum_size.h"

#include <gtest/gtest.h>

#include <climits>

// Found by argument-dependent lookup, so beside FrameRect in the global namespace.
bool operator==(const FrameRect& a, const FrameRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::ostream& operator<<(std::ostream& out, const FrameRect& r) {
    return out << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}

namespace {

TEST(ApplyMinimumSize, MovesOnlyTheDraggedEdges) {
    struct Case {
        uint32_t edge;
        FrameRect proposed, expected;
    };
    // 50 by 30 at (100, 200): too small both ways.
    const FrameRect small{100, 200, 150, 230};
    const Case cases[] = {
        {1, small, {54, 200, 150, 230}},  // left: width only
        {2, small, {100, 200, 196, 230}}, // right: width only
        {3, small, {100, 184, 150, 230}}, // top: height only
        {4, small, {54, 184, 150, 230}},  // top-left
        {5, small, {100, 184, 196, 230}}, // top-right
        {6, small, {100, 200, 150, 246}}, // bottom: height only
        {7, small, {54, 200, 150, 246}},  // bottom-left
        {8, small, {100, 200, 196, 246}}, // bottom-right
        {0, small, small},                // not an edge
        {9, small, small},
        {1, {20, 0, 100, 500}, {4, 0, 100, 500}}, // 80 wide, tall enough
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ApplyMinimumSize(c.edge, c.proposed), c.expected) << "edge " << c.edge;
    }
}

TEST(ApplyMinimumSize, TheMinimumItselfAndLargerAreLeftAlone) {
    for (uint32_t edge = 0; edge <= 9; ++edge) {
        const FrameRect exact{-500, -300, -404, -254};
        EXPECT_EQ(ApplyMinimumSize(edge, exact), exact) << "edge " << edge;
        const FrameRect large{0, 0, 973, 497};
        EXPECT_EQ(ApplyMinimumSize(edge, large), large) << "edge " << edge;
    }
}

TEST(ApplyMinimumSize, InvertedRectanglesGrowFromTheFixedEdge) {
    const FrameRect inverted{300, 300, 200, 250};
    EXPECT_EQ(ApplyMinimumSize(8, inverted), (FrameRect{300, 300, 396, 346}));
    EXPECT_EQ(ApplyMinimumSize(4, inverted), (FrameRect{104, 204, 200, 250}));
}

TEST(ApplyMinimumSize, ExtremeCoordinatesDoNotOverflow) {
    // right - left overflows 32 bits here; in 64 bits the rectangle is plainly wide enough.
    const FrameRect wide{INT_MIN, 0, INT_MAX, 100};
    EXPECT_EQ(ApplyMinimumSize(1, wide), wide);
    // Negative width of nearly 2^32: the moved edge stays inside the 32-bit range.
    const FrameRect backwards{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
    const FrameRect grown = ApplyMinimumSize(8, backwards);
    EXPECT_EQ(grown.right, INT_MAX);
    EXPECT_EQ(grown.bottom, INT_MAX);
    const FrameRect shrunk = ApplyMinimumSize(4, FrameRect{INT_MAX, INT_MAX, INT_MIN, INT_MIN});
    EXPECT_EQ(shrunk.left, INT_MIN);
    EXPECT_EQ(shrunk.top, INT_MIN);
}

} // namespace
