// The installer as a person meets it: installed silently for the current user, the program
// started from its Start-menu shortcut, then uninstalled silently. Afterwards nothing the
// installer added may be left: files, shortcut, sign-in entry, Add/Remove Programs entry.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "shell/app_state.h"

namespace {

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Qelvaro";
const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kSettingsKey[] = "Software\\Tarnwell\\Qelvaro";
DWORD const kProcessTimeoutMs = 60000;
DWORD const kStartTimeoutMs = 30000;

std::string TestDirectory() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string name(path, length);
    return name.substr(0, name.find_last_of("\\/") + 1);
}

std::string PackageFile(const char* name) {
    return TestDirectory() + "..\\package\\" + name;
}

std::string Folder(int csidl) {
    char path[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

std::string InstallDirectory() {
    return Folder(CSIDL_LOCAL_APPDATA) + "\\Programs\\Qelvaro";
}

std::string InstalledProgram() {
    return InstallDirectory() + "\\qelvaro.exe";
}

std::string Shortcut() {
    return Folder(CSIDL_PROGRAMS) + "\\Qelvaro.lnk";
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string FileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), {});
}

bool KeyExists(const char* subKey) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

bool ValueExists(const char* subKey, const char* name) {
    return RegGetValueA(HKEY_CURRENT_USER, subKey, name, RRF_RT_ANY, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

std::string StringValue(const char* subKey, const char* name) {
    char text[1024] = {};
    DWORD size = sizeof text;
    if (RegGetValueA(HKEY_CURRENT_USER, subKey, name, RRF_RT_REG_SZ, nullptr, text, &size) !=
        ERROR_SUCCESS) {
        return "<absent>";
    }
    return text;
}

DWORD DwordValue(const char* subKey, const char* name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_CURRENT_USER, subKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
        ERROR_SUCCESS) {
        return 0xFFFFFFFF;
    }
    return value;
}

bool SameFile(const std::string& a, const std::string& b) {
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// Runs a command line to its end; the exit code, or ~0 when it could not start or did not end.
DWORD RunToEnd(std::string commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return ~DWORD{0};
    }
    DWORD code = ~DWORD{0};
    if (WaitForSingleObject(process.hProcess, kProcessTimeoutMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &code);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string ImageOf(DWORD processId) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr) {
        return {};
    }
    char path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    const BOOL known = QueryFullProcessImageNameA(process, 0, path, &size);
    CloseHandle(process);
    return known ? std::string(path, size) : std::string();
}

// An NSIS uninstaller copies itself to the temporary folder and runs from there, so that it can
// delete its own file; the process we started ends at once. Wait for that copy as well.
void WaitForUninstallerCopies() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    ASSERT_NE(snapshot, INVALID_HANDLE_VALUE);
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    std::vector<HANDLE> copies;
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        if (Lower(ImageOf(entry.th32ProcessID)).find("\\~nsu") != std::string::npos) {
            HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID);
            if (process != nullptr) {
                copies.push_back(process);
            }
        }
    }
    CloseHandle(snapshot);
    for (HANDLE process : copies) {
        EXPECT_EQ(WaitForSingleObject(process, kProcessTimeoutMs), WAIT_OBJECT_0)
            << "the uninstaller did not finish";
        CloseHandle(process);
    }
}

void Uninstall(const std::string& switches) {
    const std::string uninstaller = InstallDirectory() + "\\uninstall.exe";
    ASSERT_TRUE(Exists(uninstaller));
    ASSERT_EQ(RunToEnd("\"" + uninstaller + "\" /S" + switches), 0u);
    WaitForUninstallerCopies();
}

struct RunningCopy {
    HWND window = nullptr;
    DWORD processId = 0;
};

BOOL CALLBACK FindInstalledCopy(HWND window, LPARAM found) {
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    if (strcmp(className, "Qelvaro") != 0) {
        return TRUE;
    }
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (!SameFile(ImageOf(processId), InstalledProgram())) {
        return TRUE;
    }
    *reinterpret_cast<RunningCopy*>(found) = RunningCopy{window, processId};
    return FALSE;
}

// The main window of a qelvaro.exe started from the install folder, once it exists.
RunningCopy WaitForInstalledCopy() {
    RunningCopy found;
    for (DWORD waited = 0; waited < kStartTimeoutMs && found.window == nullptr; waited += 100) {
        EnumWindows(FindInstalledCopy, reinterpret_cast<LPARAM>(&found));
        if (found.window == nullptr) {
            Sleep(100);
        }
    }
    return found;
}

// Opens the shortcut the way Explorer does when it is clicked in the Start menu.
bool OpenShortcut() {
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.lpVerb = "open";
    const std::string shortcut = Shortcut();
    info.lpFile = shortcut.c_str();
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteExA(&info) != FALSE;
}

std::string ShortcutTarget() {
    std::string target = "<unreadable>";
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link)))) {
        return target;
    }
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        const std::string shortcut = Shortcut();
        const std::wstring wide(shortcut.begin(), shortcut.end());
        char path[MAX_PATH] = {};
        if (SUCCEEDED(file->Load(wide.c_str(), STGM_READ)) &&
            SUCCEEDED(link->GetPath(path, MAX_PATH, nullptr, 0))) {
            target = path;
        }
        file->Release();
    }
    link->Release();
    return target;
}

void PlantSetting() {
    const DWORD viewKeyboard = 0;
    ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "ViewKeyboard", REG_DWORD,
                              &viewKeyboard, sizeof viewKeyboard),
              ERROR_SUCCESS);
}

void ExpectNothingLeft() {
    EXPECT_FALSE(Exists(InstallDirectory())) << InstallDirectory();
    EXPECT_FALSE(Exists(Shortcut())) << Shortcut();
    EXPECT_FALSE(KeyExists(kUninstallKey));
    EXPECT_FALSE(ValueExists(kRunKey, "Qelvaro"));
}

class Installer : public ::testing::Test {
  protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_TRUE(Exists(PackageFile(QELVARO_INSTALLER_NAME)))
            << PackageFile(QELVARO_INSTALLER_NAME);
        ASSERT_FALSE(Exists(InstallDirectory())) << "installed before the test";
        ASSERT_FALSE(KeyExists(kUninstallKey)) << "installed before the test";
    }

    void TearDown() override {
        // Leave the prefix as we found it for the tests that follow, even after a failure.
        if (Exists(InstallDirectory() + "\\uninstall.exe")) {
            Uninstall(" /REMOVESETTINGS");
        }
        RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Tarnwell");
        CoUninitialize();
    }

    static DWORD Install(const std::string& switches) {
        return RunToEnd("\"" + PackageFile(QELVARO_INSTALLER_NAME) + "\" /S" + switches);
    }
};

TEST_F(Installer, InstallsStartsFromShortcutAndUninstallsLeavingOnlySettings) {
    ASSERT_EQ(Install(""), 0u);

    EXPECT_EQ(FileBytes(InstalledProgram()), FileBytes(PackageFile("qelvaro.exe")))
        << "the installed program is the packaged one";
    EXPECT_TRUE(Exists(InstallDirectory() + "\\README.txt"));
    EXPECT_TRUE(Exists(InstallDirectory() + "\\uninstall.exe"));
    ASSERT_TRUE(Exists(Shortcut()));
    EXPECT_TRUE(SameFile(ShortcutTarget(), InstalledProgram())) << ShortcutTarget();

    EXPECT_EQ(StringValue(kUninstallKey, "DisplayName"), "Qelvaro");
    EXPECT_EQ(StringValue(kUninstallKey, "DisplayVersion"), QELVARO_VERSION);
    EXPECT_EQ(StringValue(kUninstallKey, "Publisher"), "Tarnwell");
    EXPECT_TRUE(SameFile(StringValue(kUninstallKey, "InstallLocation"), InstallDirectory()));
    EXPECT_TRUE(SameFile(StringValue(kUninstallKey, "UninstallString"),
                         "\"" + InstallDirectory() + "\\uninstall.exe\""));
    EXPECT_TRUE(SameFile(StringValue(kUninstallKey, "QuietUninstallString"),
                         "\"" + InstallDirectory() + "\\uninstall.exe\" /S"));
    EXPECT_EQ(DwordValue(kUninstallKey, "NoModify"), 1u);
    EXPECT_EQ(DwordValue(kUninstallKey, "NoRepair"), 1u);
    const DWORD kilobytes = DwordValue(kUninstallKey, "EstimatedSize");
    EXPECT_GE(kilobytes, FileBytes(InstalledProgram()).size() / 1024);
    EXPECT_LT(kilobytes, 100000u);
    EXPECT_TRUE(SameFile(StringValue(kRunKey, "Qelvaro"), "\"" + InstalledProgram() + "\""))
        << "started at sign-in unless the user unticks it";

    ASSERT_TRUE(OpenShortcut());
    const RunningCopy running = WaitForInstalledCopy();
    ASSERT_NE(running.window, nullptr) << "qelvaro.exe did not start from the shortcut";
    HANDLE process =
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, running.processId);
    ASSERT_NE(process, nullptr);
    PostMessageA(running.window, WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(WaitForSingleObject(process, kStartTimeoutMs), WAIT_OBJECT_0) << "Exit must end it";
    DWORD code = ~DWORD{0};
    GetExitCodeProcess(process, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(process);

    PlantSetting();
    Uninstall("");

    ExpectNothingLeft();
    EXPECT_TRUE(ValueExists(kSettingsKey, "ViewKeyboard")) << "a silent uninstall keeps settings";
}

TEST_F(Installer, UninstallEndsTheRunningProgramAndRemovesSettingsOnRequest) {
    ASSERT_EQ(Install(" /NOAUTOSTART"), 0u);
    EXPECT_FALSE(ValueExists(kRunKey, "Qelvaro")) << "/NOAUTOSTART unticks the sign-in start";

    ASSERT_TRUE(OpenShortcut());
    const RunningCopy running = WaitForInstalledCopy();
    ASSERT_NE(running.window, nullptr);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, running.processId);
    ASSERT_NE(process, nullptr);
    PlantSetting();

    Uninstall(" /REMOVESETTINGS");

    EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_OBJECT_0) << "still running after uninstall";
    CloseHandle(process);
    ExpectNothingLeft();
    EXPECT_FALSE(KeyExists(kSettingsKey));
    EXPECT_FALSE(KeyExists("Software\\Tarnwell")) << "an emptied company key goes too";
}

} // namespace
