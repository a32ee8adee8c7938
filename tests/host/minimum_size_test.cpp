#include "picture/minimum_size.h"

#include <gtest/gtest.h>

#include <climits>

// Found by argument-dependent lookup, so beside SizingRect in the global namespace.
bool operator==(const SizingRect& a, const SizingRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::ostream& operator<<(std::ostream& out, const SizingRect& r) {
    return out << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}

namespace {

TEST(ApplyMinimumSize, MovesOnlyTheDraggedEdges) {
    struct Case {
        uint32_t edge;
        SizingRect proposed, expected;
    };
    // 50 by 30 at (100, 200): too small both ways.
    const SizingRect small{100, 200, 150, 230};
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
        const SizingRect exact{-500, -300, -404, -254};
        EXPECT_EQ(ApplyMinimumSize(edge, exact), exact) << "edge " << edge;
        const SizingRect large{0, 0, 973, 497};
        EXPECT_EQ(ApplyMinimumSize(edge, large), large) << "edge " << edge;
    }
}

TEST(ApplyMinimumSize, InvertedRectanglesGrowFromTheFixedEdge) {
    const SizingRect inverted{300, 300, 200, 250};
    EXPECT_EQ(ApplyMinimumSize(8, inverted), (SizingRect{300, 300, 396, 346}));
    EXPECT_EQ(ApplyMinimumSize(4, inverted), (SizingRect{104, 204, 200, 250}));
}

TEST(ApplyMinimumSize, ExtremeCoordinatesDoNotOverflow) {
    // right - left overflows 32 bits here; in 64 bits the rectangle is plainly wide enough.
    const SizingRect wide{INT_MIN, 0, INT_MAX, 100};
    EXPECT_EQ(ApplyMinimumSize(1, wide), wide);
    // Negative width of nearly 2^32: the moved edge stays inside the 32-bit range.
    const SizingRect backwards{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
    const SizingRect grown = ApplyMinimumSize(8, backwards);
    EXPECT_EQ(grown.right, INT_MAX);
    EXPECT_EQ(grown.bottom, INT_MAX);
    const SizingRect shrunk = ApplyMinimumSize(4, SizingRect{INT_MAX, INT_MAX, INT_MIN, INT_MIN});
    EXPECT_EQ(shrunk.left, INT_MIN);
    EXPECT_EQ(shrunk.top, INT_MIN);
}

} // namespace
