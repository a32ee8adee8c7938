// GDI+ started once for a whole test executable, as the program starts it before loading.
#pragma once

#include <windows.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

struct GdiplusSession : testing::Environment {
    ULONG_PTR token = 0;
    void SetUp() override {
        Gdiplus::GdiplusStartupInput input;
        ASSERT_EQ(Gdiplus::GdiplusStartup(&token, &input, nullptr), Gdiplus::Ok);
    }
    void TearDown() override {
        Gdiplus::GdiplusShutdown(token);
    }
};
