#include "shell/string_copy.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CopyStringBounded, CopiesAtMostCapacityMinusOneAndTerminates) {
    struct Case {
        const char* source;
        size_t capacity;
        const char* expected;
    };
    const Case cases[] = {
        {"Qelvaro", 128, "Qelvaro"}, {"Qelvaro", 8, "Qelvaro"}, {"Qelvaro", 7, "Qelvar"},
        {"Qelvaro", 2, "Q"},         {"Qelvaro", 1, ""},        {"", 16, ""},
    };
    for (const Case& c : cases) {
        char target[16];
        std::fill(std::begin(target), std::end(target), '#');
        EXPECT_EQ(CopyStringBounded(target, c.source, c.capacity), target);
        EXPECT_STREQ(target, c.expected) << c.source << " into " << c.capacity;
        // Nothing past the terminator is touched.
        const size_t written = std::string(c.expected).size() + 1;
        for (size_t i = written; i < sizeof target; ++i) {
            EXPECT_EQ(target[i], '#') << "byte " << i;
        }
    }
}

TEST(CopyStringBounded, BalloonTextIsCutTo255Characters) {
    char info[256];
    const std::string longText(300, 'x');
    CopyStringBounded(info, longText.c_str(), sizeof info);
    EXPECT_EQ(std::string(info), std::string(255, 'x'));
}

TEST(CopyStringBounded, NullArgumentsAreHarmless) {
    EXPECT_EQ(CopyStringBounded(nullptr, "text", 8), nullptr);
    char target[4] = {'a', 'b', 'c', 0};
    EXPECT_EQ(CopyStringBounded(target, nullptr, sizeof target), target);
    EXPECT_STREQ(target, "");
    char untouched[2] = {'a', 'b'};
    CopyStringBounded(untouched, "zz", 0);
    EXPECT_EQ(untouched[0], 'a');
}

} // namespace
