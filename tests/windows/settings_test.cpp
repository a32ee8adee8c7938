// The three switches and the tray notice against the real registry of the Wine prefix. Message
// boxes are answered from a CBT hook, which sees each box as it is activated.
#include <windows.h>
#include <shlwapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "shell/app_state.h"
#include "shell/settings.h"

namespace {

const char kSettingsKey[] = "Software\\Tarnwell\\Qelvaro";
const char kExplorerKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";

// Each box shown, as a letter: N the notice, with Yes and No; U "updated" and X "NOT changed",
// each with a lone OK; ? any other box.
std::string shownBoxes;
int answer = IDNO;
HHOOK boxHook;

LRESULT CALLBACK AnswerBoxes(int code, WPARAM wParam, LPARAM lParam) {
    HWND box = reinterpret_cast<HWND>(wParam);
    char className[16] = {};
    if (code == HCBT_ACTIVATE && GetClassNameA(box, className, sizeof className) &&
        std::string(className) == "#32770") {
        char caption[128] = {};
        char text[1024] = {};
        GetWindowTextA(box, caption, sizeof caption);
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        const bool yesNo = GetDlgItem(box, IDYES) != nullptr && GetDlgItem(box, IDNO) != nullptr &&
                           GetDlgItem(box, IDOK) == nullptr;
        const std::string t = std::string(caption) == "Qelvaro - Notice" ? text : "";
        shownBoxes += yesNo && t.find("click YES below") != std::string::npos         ? 'N'
                      : !yesNo && t.find("has been updated") != std::string::npos     ? 'U'
                      : !yesNo && t.find("has NOT been changed") != std::string::npos ? 'X'
                                                                                      : '?';
        PostMessageA(box, WM_COMMAND, yesNo ? answer : IDOK, 0);
    }
    return CallNextHookEx(boxHook, code, wParam, lParam);
}

// A stored value: its type and bytes.
using Stored = std::pair<DWORD, std::vector<BYTE>>;
Stored const kAbsent{~0u, {}};

Stored ReadStored(const char* subkey, const char* name) {
    Stored stored{0, std::vector<BYTE>(64)};
    DWORD size = static_cast<DWORD>(stored.second.size());
    if (SHGetValueA(HKEY_CURRENT_USER, subkey, name, &stored.first, stored.second.data(), &size) !=
        ERROR_SUCCESS) {
        return kAbsent;
    }
    stored.second.resize(size);
    return stored;
}

void WriteStored(const char* subkey, const char* name, const Stored& stored) {
    if (stored == kAbsent) {
        SHDeleteValueA(HKEY_CURRENT_USER, subkey, name);
    } else {
        SHSetValueA(HKEY_CURRENT_USER, subkey, name, stored.first, stored.second.data(),
                    static_cast<DWORD>(stored.second.size()));
    }
}

Stored Dword(DWORD value) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&value);
    return {REG_DWORD, std::vector<BYTE>(bytes, bytes + sizeof value)};
}

const std::pair<const char*, DWORD AppState::*> kSwitches[] = {
    {"State", &AppState::translationOn},
    {"ViewKeyboard", &AppState::viewKeyboard},
    {"KeyboardAlwaysOnTop", &AppState::alwaysOnTop},
};

class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        app = AppState{};
        SHDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
        autoTrayWas = ReadStored(kExplorerKey, "EnableAutoTray");
        WriteStored(kExplorerKey, "EnableAutoTray", kAbsent);
        shownBoxes.clear();
        answer = IDNO;
        boxHook = SetWindowsHookExA(WH_CBT, AnswerBoxes, nullptr, GetCurrentThreadId());
        ASSERT_NE(boxHook, nullptr);
    }

    void TearDown() override {
        UnhookWindowsHookEx(boxHook);
        HKEY key = nullptr;
        if (writesDenied &&
            RegOpenKeyExA(HKEY_CURRENT_USER, kExplorerKey, 0, WRITE_DAC, &key) == ERROR_SUCCESS) {
            RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, keptAccess);
            RegCloseKey(key);
        }
        WriteStored(kExplorerKey, "EnableAutoTray", autoTrayWas);
        SHDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
    }

    // A key whose access list allows reading only: a real, documented way to make SHSetValueA
    // fail. TearDown puts the old list back.
    void DenyExplorerWrites() {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kExplorerKey, 0, READ_CONTROL | WRITE_DAC, &key),
                  ERROR_SUCCESS);
        DWORD size = sizeof keptAccess;
        ASSERT_EQ(RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, keptAccess, &size),
                  ERROR_SUCCESS);
        PSECURITY_DESCRIPTOR readOnly = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
            "D:P(A;;KR;;;WD)", SDDL_REVISION_1, &readOnly, nullptr));
        writesDenied = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, readOnly) == ERROR_SUCCESS;
        LocalFree(readOnly);
        RegCloseKey(key);
        ASSERT_TRUE(writesDenied);
    }

    Stored autoTrayWas;
    BYTE keptAccess[4096] = {};
    bool writesDenied = false;
};

// A stored value of any type and size, or none, written to all three switches and to Explorer's
// "EnableAutoTray" at once: four bytes or fewer load into a zeroed number, a longer value or an
// absent one leaves the field as it was; the notice comes exactly when "EnableAutoTray" reads as
// nonzero, and with the answer No every stored value stays as it was. Saving then writes each
// field back unchanged, as a DWORD.
TEST_F(SettingsTest, StoredValuesLoadByTheirFirstFourBytesAndSaveAsDwords) {
    const struct {
        const char* what;
        Stored stored;
        bool loads;
        DWORD loaded;
    } cases[] = {
        {"absent", kAbsent, false, 0},
        {"dword all ones", Dword(0xFFFFFFFF), true, 0xFFFFFFFF},
        {"one-byte binary", {REG_BINARY, {0x81}}, true, 0x81},
        {"two-byte binary", {REG_BINARY, {1, 2}}, true, 0x0201},
        {"three-byte binary", {REG_BINARY, {1, 2, 3}}, true, 0x030201},
        {"empty binary", {REG_BINARY, {}}, true, 0},
        {"string \"7\"", {REG_SZ, {'7', 0}}, true, '7'},
        {"five-byte binary", {REG_BINARY, {1, 0, 0, 0, 1}}, false, 0},
        {"eight-byte binary", {REG_BINARY, {1, 2, 3, 4, 5, 6, 7, 8}}, false, 0},
        {"qword", {REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}}, false, 0},
    };
    const AppState defaults;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        app = AppState{};
        shownBoxes.clear();
        for (const auto& s : kSwitches) {
            WriteStored(kSettingsKey, s.first, c.stored);
        }
        WriteStored(kExplorerKey, "EnableAutoTray", c.stored);
        LoadSettings();
        for (const auto& s : kSwitches) {
            EXPECT_EQ(app.*s.second, c.loads ? c.loaded : defaults.*s.second) << s.first;
            EXPECT_EQ(ReadStored(kSettingsKey, s.first), c.stored) << s.first;
        }
        EXPECT_EQ(ReadStored(kExplorerKey, "EnableAutoTray"), c.stored);
        EXPECT_EQ(shownBoxes, c.loads && c.loaded != 0 ? "NX" : "");
        SaveSettings();
        for (const auto& s : kSwitches) {
            EXPECT_EQ(ReadStored(kSettingsKey, s.first),
                      Dword(c.loads ? c.loaded : defaults.*s.second))
                << s.first << " saved";
        }
    }
}

// Over two start-ups: what "EnableAutoTray" holds, how the user answers, the boxes shown in order
// and what "EnableAutoTray" holds afterwards. The refused write comes last: the key stays
// read-only until TearDown.
TEST_F(SettingsTest, NoticeAppearsAtEachStartUntilAnsweredYes) {
    const struct {
        const char* what;
        DWORD autoTray;
        int answer;
        bool denyWrites;
        const char* boxes;
        DWORD autoTrayAfter;
    } cases[] = {
        {"7, answered No", 7, IDNO, false, "NXNX", 7},
        {"1, answered Yes", 1, IDYES, false, "NU", 0},
        {"1, answered Yes, the write refused", 1, IDYES, true, "NXNX", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        shownBoxes.clear();
        WriteStored(kExplorerKey, "EnableAutoTray", Dword(c.autoTray));
        if (c.denyWrites) {
            DenyExplorerWrites();
        }
        answer = c.answer;
        LoadSettings();
        LoadSettings();
        EXPECT_EQ(shownBoxes, c.boxes);
        EXPECT_EQ(ReadStored(kExplorerKey, "EnableAutoTray"), Dword(c.autoTrayAfter));
    }
}

} // namespace
