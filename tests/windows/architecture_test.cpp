// The records whose size the shell and SendInput check differ between 32-bit and 64-bit builds;
// each build must hand over the size of its own architecture.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "shell/app_state.h"
#include "shell/tray_icon.h"

namespace {

#ifdef _WIN64
UINT const kTrayRecordSize = 504;
size_t const kInputRecordSize = 40;
WORD const kMachine = IMAGE_FILE_MACHINE_AMD64;
#else
UINT const kTrayRecordSize = 488;
size_t const kInputRecordSize = 28;
WORD const kMachine = IMAGE_FILE_MACHINE_I386;
#endif

std::string ProgramPath() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name(path, length);
    return name.substr(0, name.find_last_of("\\/") + 1) + "qelvaro.exe";
}

// The Machine field of the PE file header: what the loader checks before it runs the program.
WORD MachineOf(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), {});
    if (bytes.size() < 0x40) {
        return 0;
    }
    uint32_t peOffset = 0;
    std::memcpy(&peOffset, bytes.data() + 0x3C, sizeof peOffset);
    if (bytes.size() < peOffset + 6 || bytes.compare(peOffset, 4, std::string("PE\0\0", 4)) != 0) {
        return 0;
    }
    WORD machine = 0;
    std::memcpy(&machine, bytes.data() + peOffset + 4, sizeof machine);
    return machine;
}

TEST(Architecture, VersionTwoTrayRecordHasTheSizeOfThisArchitecture) {
    EXPECT_EQ(NOTIFYICONDATAA_V2_SIZE, kTrayRecordSize);
}

TEST(Architecture, InputRecordHasTheSizeOfThisArchitecture) {
    EXPECT_EQ(sizeof(INPUT), kInputRecordSize);
}

TEST(Architecture, ProgramIsBuiltForTheArchitectureOfItsTests) {
    EXPECT_EQ(MachineOf(ProgramPath()), kMachine) << ProgramPath();
}

TEST(Architecture, TrayIconIsAddedWithTheVersionTwoRecordOfThisArchitecture) {
    HWND window = CreateWindowExA(0, "STATIC", "Qelvaro test", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    app.mainWindow = window;

    AddTrayIcon();

    EXPECT_EQ(app.trayData.cbSize, kTrayRecordSize);
    EXPECT_EQ(app.trayData.hWnd, window);
    Shell_NotifyIconA(NIM_DELETE, &app.trayData);
    DestroyWindow(window);
    app.mainWindow = nullptr;
    app.trayData = NOTIFYICONDATAA{};
}

} // namespace
