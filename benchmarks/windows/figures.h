// What the benchmarks under Wine share: the clock, medians and the row format of ./bench.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

inline double SecondsNow() {
    static const double frequency = [] {
        LARGE_INTEGER ticks;
        QueryPerformanceFrequency(&ticks);
        return static_cast<double>(ticks.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / frequency;
}

inline double Median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    const size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + middle, values.end());
    const double upper = values[middle];
    if (values.size() % 2 != 0) {
        return upper;
    }
    return (*std::max_element(values.begin(), values.begin() + middle) + upper) / 2;
}

inline double FileTimeSeconds(const FILETIME& time) {
    return static_cast<double>(ULARGE_INTEGER{{time.dwLowDateTime, time.dwHighDateTime}}.QuadPart) /
           1e7;
}

// One row for ./bench: figure|value|baseline|ratio, both values in the same unit ("" for counts).
inline void PrintRow(const char* figure, double value, double baseline, const char* unit,
                     int decimals = 1) {
    const char* space = unit[0] != '\0' ? " " : "";
    std::printf("%s|%.*f%s%s|%.*f%s%s|", figure, decimals, value, space, unit, decimals, baseline,
                space, unit);
    if (baseline > 0) {
        std::printf("%.2fx\n", value / baseline);
    } else {
        std::printf("%s\n", value > 0 ? "n/a (baseline 0)" : "-");
    }
    std::fflush(stdout);
}
