// The three switches and the tray notice against the real registry of the Wine prefix. Message
// boxes are answered from a CBT hook, which sees each box as it is activated.
#include <windows.h>
#include <shlwapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "shell/app_state.h"
#include "shell/settings.h"

namespace {

const char kSettingsKey[] = "Software\\Tarnwell\\Qelvaro";
const char kExplorerKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
const char kNoticeCaption[] = "Qelvaro - Notice";
const char kNotice[] =
    "You can access Qelvaro through its icon the system tray (notification area, on the right of "
    "Windows taskbar).\n\nHowever, your system settings may hide this icon from time to time, "
    "which requires you to click on the tiny arrow in the system tray everytime you want to show "
    "the icon.\n\nIf you would rather have the icon displayed permanently, click YES below "
    "(requires a logout-login).";
const char kUpdated[] = "System tray setting has been updated accordingly.\nPlease log out and log "
                        "in again for this update to become effective.";
const char kNotChanged[] = "System tray setting has NOT been changed";

struct Box {
    std::string caption;
    std::string text;
    bool yesNo; // Yes and No buttons, else a lone OK
    bool operator==(const Box& other) const {
        return caption == other.caption && text == other.text && yesNo == other.yesNo;
    }
};
void PrintTo(const Box& box, std::ostream* out) {
    *out << "{" << box.caption << ": \"" << box.text << "\"" << (box.yesNo ? " yes/no" : " ok")
         << "}";
}

std::vector<Box> shownBoxes;
int answer = IDNO;
DWORD translationOnAtFirstBox = 0;
HHOOK boxHook;

LRESULT CALLBACK AnswerBoxes(int code, WPARAM wParam, LPARAM lParam) {
    HWND box = reinterpret_cast<HWND>(wParam);
    char className[32] = {};
    if (code == HCBT_ACTIVATE && GetClassNameA(box, className, sizeof className) &&
        std::string(className) == "#32770") {
        char caption[128] = {};
        char text[1024] = {};
        GetWindowTextA(box, caption, sizeof caption);
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        const bool yesNo = GetDlgItem(box, IDYES) != nullptr && GetDlgItem(box, IDNO) != nullptr &&
                           GetDlgItem(box, IDOK) == nullptr;
        if (shownBoxes.empty()) {
            translationOnAtFirstBox = app.translationOn;
        }
        shownBoxes.push_back({caption, text, yesNo});
        PostMessageA(box, WM_COMMAND, yesNo ? answer : IDOK, 0);
    }
    return CallNextHookEx(boxHook, code, wParam, lParam);
}

struct Stored {
    bool present;
    DWORD type;
    std::vector<BYTE> bytes;
};

Stored ReadStored(const char* subkey, const char* name) {
    Stored stored{false, 0, std::vector<BYTE>(64)};
    DWORD size = static_cast<DWORD>(stored.bytes.size());
    stored.present = SHGetValueA(HKEY_CURRENT_USER, subkey, name, &stored.type, stored.bytes.data(),
                                 &size) == ERROR_SUCCESS;
    stored.bytes.resize(stored.present ? size : 0);
    return stored;
}

void WriteStored(const char* subkey, const char* name, const Stored& stored) {
    if (!stored.present) {
        SHDeleteValueA(HKEY_CURRENT_USER, subkey, name);
        return;
    }
    SHSetValueA(HKEY_CURRENT_USER, subkey, name, stored.type, stored.bytes.data(),
                static_cast<DWORD>(stored.bytes.size()));
}

Stored Dword(DWORD value) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&value);
    return {true, REG_DWORD, std::vector<BYTE>(bytes, bytes + sizeof value)};
}

class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        app = AppState{};
        SHDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
        autoTrayWas = ReadStored(kExplorerKey, "EnableAutoTray");
        SHDeleteValueA(HKEY_CURRENT_USER, kExplorerKey, "EnableAutoTray");
        shownBoxes.clear();
        answer = IDNO;
        boxHook = SetWindowsHookExA(WH_CBT, AnswerBoxes, nullptr, GetCurrentThreadId());
        ASSERT_NE(boxHook, nullptr);
    }

    void TearDown() override {
        UnhookWindowsHookEx(boxHook);
        AllowExplorerWrites();
        WriteStored(kExplorerKey, "EnableAutoTray", autoTrayWas);
        SHDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
    }

    // A key whose access list allows reading only: a real, documented way to make
    // SHSetValueA fail.
    void DenyExplorerWrites() {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kExplorerKey, 0, READ_CONTROL | WRITE_DAC, &key),
                  ERROR_SUCCESS);
        DWORD size = sizeof explorerSecurity;
        ASSERT_EQ(RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, explorerSecurity, &size),
                  ERROR_SUCCESS);
        PSECURITY_DESCRIPTOR readOnly = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
            "D:P(A;;KR;;;WD)", SDDL_REVISION_1, &readOnly, nullptr));
        writesDenied = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, readOnly) == ERROR_SUCCESS;
        LocalFree(readOnly);
        RegCloseKey(key);
        ASSERT_TRUE(writesDenied);
    }

    void AllowExplorerWrites() {
        HKEY key = nullptr;
        if (!writesDenied ||
            RegOpenKeyExA(HKEY_CURRENT_USER, kExplorerKey, 0, WRITE_DAC, &key) != ERROR_SUCCESS) {
            return;
        }
        RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, explorerSecurity);
        RegCloseKey(key);
        writesDenied = false;
    }

    Stored autoTrayWas;
    BYTE explorerSecurity[4096] = {};
    bool writesDenied = false;
};

struct Switch {
    const char* name;
    DWORD AppState::*field;
    DWORD fallback; // the field's value before loading
};
const Switch kSwitches[] = {
    {"State", &AppState::translationOn, 1},
    {"ViewKeyboard", &AppState::viewKeyboard, 0},
    {"KeyboardAlwaysOnTop", &AppState::alwaysOnTop, 0},
};

TEST_F(SettingsTest, NothingStoredLeavesEveryFieldAsItWasAndWritesNothing) {
    for (DWORD before : {0u, 1u, 9u}) {
        SCOPED_TRACE(::testing::Message() << "fields at " << before);
        for (const Switch& s : kSwitches) {
            app.*s.field = before;
        }
        LoadSettings();
        for (const Switch& s : kSwitches) {
            EXPECT_EQ(app.*s.field, before) << s.name;
        }
    }
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_TRUE(shownBoxes.empty());
}

// What a stored value of any type and size loads as: four bytes or fewer fill a zeroed
// buffer; a longer value is not read at all.
struct StoredCase {
    const char* what;
    Stored stored;
    bool loads;
    DWORD loaded;
};

const BYTE kEight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
const StoredCase kStoredCases[] = {
    {"dword 0", Dword(0), true, 0},
    {"dword 1", Dword(1), true, 1},
    {"dword 2", Dword(2), true, 2},
    {"dword all ones", Dword(0xFFFFFFFF), true, 0xFFFFFFFF},
    {"one-byte binary", {true, REG_BINARY, {9}}, true, 9},
    {"two-byte binary", {true, REG_BINARY, {5, 1}}, true, 0x0105},
    {"three-byte binary", {true, REG_BINARY, {1, 2, 3}}, true, 0x030201},
    {"empty binary", {true, REG_BINARY, {}}, true, 0},
    {"empty string", {true, REG_SZ, {0}}, true, 0},
    {"string \"7\"", {true, REG_SZ, {'7', 0}}, true, '7'},
    {"string too long", {true, REG_SZ, {'1', '2', '3', '4', '5', 0}}, false, 0},
    {"qword", {true, REG_QWORD, std::vector<BYTE>(kEight, kEight + 8)}, false, 0},
    {"eight-byte binary", {true, REG_BINARY, std::vector<BYTE>(kEight, kEight + 8)}, false, 0},
    {"five-byte binary", {true, REG_BINARY, {1, 0, 0, 0, 1}}, false, 0},
};

TEST_F(SettingsTest, StoredValuesLoadByTheirFirstFourBytes) {
    const auto& cases = kStoredCases;
    for (const StoredCase& c : cases) {
        for (const Switch& s : kSwitches) {
            SCOPED_TRACE(::testing::Message() << s.name << " as " << c.what);
            app = AppState{};
            SHDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
            WriteStored(kSettingsKey, s.name, c.stored);
            LoadSettings();
            for (const Switch& other : kSwitches) {
                const DWORD expected =
                    other.field == s.field && c.loads ? c.loaded : other.fallback;
                EXPECT_EQ(app.*other.field, expected) << other.name;
            }
        }
    }
}

TEST_F(SettingsTest, SaveWritesAllThreeAsDwordsWhateverWasStored) {
    WriteStored(kSettingsKey, "ViewKeyboard", {true, REG_SZ, {'7', 0}});
    const DWORD rows[][3] = {{1, 0, 0}, {0, 1, 1}, {2, 0, 7}, {0xFFFFFFFF, 5, 1}};
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << row[0] << " " << row[1] << " " << row[2]);
        for (int i = 0; i < 3; ++i) {
            app.*kSwitches[i].field = row[i];
        }
        SaveSettings();
        for (int i = 0; i < 3; ++i) {
            const Stored stored = ReadStored(kSettingsKey, kSwitches[i].name);
            EXPECT_TRUE(stored.present);
            EXPECT_EQ(stored.type, static_cast<DWORD>(REG_DWORD)) << kSwitches[i].name;
            EXPECT_EQ(stored.bytes, Dword(row[i]).bytes) << kSwitches[i].name;
        }
    }
}

TEST_F(SettingsTest, AnUntouchedNonzeroStateIsWrittenBackUnchanged) {
    WriteStored(kSettingsKey, "State", Dword(2));
    WriteStored(kSettingsKey, "KeyboardAlwaysOnTop", Dword(3));
    LoadSettings();
    EXPECT_EQ(app.translationOn, 2u);
    app.viewKeyboard = 1;
    SaveSettings();
    EXPECT_EQ(ReadStored(kSettingsKey, "State").bytes, Dword(2).bytes);
    EXPECT_EQ(ReadStored(kSettingsKey, "ViewKeyboard").bytes, Dword(1).bytes);
    EXPECT_EQ(ReadStored(kSettingsKey, "KeyboardAlwaysOnTop").bytes, Dword(3).bytes);
}

// The tray notice over two start-ups: what "EnableAutoTray" holds (-1: absent), how the user
// answers, the boxes shown in order (N the notice, U "updated", X "NOT changed") and what
// "EnableAutoTray" holds afterwards.
struct NoticeCase {
    const char* name;
    int64_t autoTray;
    int answer;
    bool denyWrites;
    const char* boxes;
    int64_t autoTrayAfter;
};
void PrintTo(const NoticeCase& c, std::ostream* out) {
    *out << c.name;
}

Stored AutoTray(int64_t value) {
    return value < 0 ? Stored{false, 0, {}} : Dword(static_cast<DWORD>(value));
}

std::vector<Box> Boxes(const char* codes) {
    std::vector<Box> boxes;
    for (const char* code = codes; *code != '\0'; ++code) {
        switch (*code) {
        case 'N': boxes.push_back({kNoticeCaption, kNotice, true}); break;
        case 'U': boxes.push_back({kNoticeCaption, kUpdated, false}); break;
        case 'X': boxes.push_back({kNoticeCaption, kNotChanged, false}); break;
        }
    }
    return boxes;
}

// Every value, Explorer's included, stored in the same odd form at once: each field gets a
// defined value, the notice comes exactly when "EnableAutoTray" reads as nonzero, and answering
// No leaves every stored value as it was.
TEST_F(SettingsTest, OddValuesEverywhereLoadDefinedAndWriteNothing) {
    size_t tried = 0, notices = 0;
    for (const StoredCase& c : kStoredCases) {
        SCOPED_TRACE(c.what);
        app = AppState{};
        shownBoxes.clear();
        for (const Switch& s : kSwitches) {
            WriteStored(kSettingsKey, s.name, c.stored);
        }
        WriteStored(kExplorerKey, "EnableAutoTray", c.stored);
        LoadSettings();
        for (const Switch& s : kSwitches) {
            EXPECT_EQ(app.*s.field, c.loads ? c.loaded : s.fallback) << s.name;
            const Stored after = ReadStored(kSettingsKey, s.name);
            EXPECT_EQ(after.type, c.stored.type) << s.name;
            EXPECT_EQ(after.bytes, c.stored.bytes) << s.name;
        }
        const Stored autoTray = ReadStored(kExplorerKey, "EnableAutoTray");
        EXPECT_EQ(autoTray.type, c.stored.type);
        EXPECT_EQ(autoTray.bytes, c.stored.bytes);
        EXPECT_EQ(shownBoxes, Boxes(c.loads && c.loaded != 0 ? "NX" : ""));
        tried += 4;
        notices += shownBoxes.empty() ? 0 : 1;
    }
    RecordProperty("figures", std::to_string(tried) + " odd values loaded, " +
                                  std::to_string(notices) + " notices answered No");
    printf("figures: %zu odd values loaded, %zu notices answered No\n", tried, notices);
}

class SettingsNoticeTest : public SettingsTest, public ::testing::WithParamInterface<NoticeCase> {};

TEST_P(SettingsNoticeTest, AppearsAtEachStartUntilAnsweredYes) {
    const NoticeCase& c = GetParam();
    WriteStored(kExplorerKey, "EnableAutoTray", AutoTray(c.autoTray));
    WriteStored(kSettingsKey, "State", Dword(0));
    if (c.denyWrites) {
        DenyExplorerWrites();
    }
    answer = c.answer;
    LoadSettings();
    LoadSettings();
    AllowExplorerWrites();

    EXPECT_EQ(shownBoxes, Boxes(c.boxes));
    const Stored after = ReadStored(kExplorerKey, "EnableAutoTray");
    const Stored expected = AutoTray(c.autoTrayAfter);
    EXPECT_EQ(after.present, expected.present);
    EXPECT_EQ(after.type, expected.type);
    EXPECT_EQ(after.bytes, expected.bytes);
    if (!shownBoxes.empty()) {
        EXPECT_EQ(translationOnAtFirstBox, 0u) << "the switches are read before the notice";
    }
}

INSTANTIATE_TEST_SUITE_P(
    AutoTray, SettingsNoticeTest,
    ::testing::Values(NoticeCase{"Absent", -1, IDYES, false, "", -1},
                      NoticeCase{"Zero", 0, IDYES, false, "", 0},
                      NoticeCase{"OneAnsweredNo", 1, IDNO, false, "NXNX", 1},
                      NoticeCase{"SevenAnsweredNo", 7, IDNO, false, "NXNX", 7},
                      NoticeCase{"OneAnsweredYes", 1, IDYES, false, "NU", 0},
                      NoticeCase{"YesButTheWriteIsRefused", 1, IDYES, true, "NXNX", 1}),
    [](const ::testing::TestParamInfo<NoticeCase>& tested) { return tested.param.name; });

} // namespace
