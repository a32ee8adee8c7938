// GDI+ started once for each test executable that includes this, as the program starts it.
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

inline testing::Environment* const gdiplusSession =
    testing::AddGlobalTestEnvironment(new GdiplusSession);
