// qelvaro.exe as a person uses it: real X key presses, the tray driven by the shell's messages,
// the registry read back with reg.exe.
#include "desktop.h"

#include <gtest/gtest.h>

#include "translation/layout.h"

#include <map>
#include <string>

namespace {

constexpr unsigned kShift = 42, kAlt = 56, kCtrl = 29, kEscape = 1;
constexpr unsigned kScanQ = 16, kScanK = 37, kScanC = 46;
constexpr unsigned kScanD = 32, kScanE = 18, kScanH = 35, kScanT = 20, kScanX = 45;
constexpr unsigned kVkPacket = 0xE7, kVkLeftCtrl = 0xA2;

class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ClearSettings();
        SetCapsLock(false);
    }
    void TearDown() override {
        SetCapsLock(false);
    }
    static std::vector<ProbeEvent> Keys(const std::vector<ProbeEvent>& events, bool injected) {
        std::vector<ProbeEvent> keys;
        for (const ProbeEvent& e : events) {
            if (e.kind == 'K' && e.Injected() == injected && e.vk != 0x7B) {
                keys.push_back(e);
            }
        }
        return keys;
    }
    static std::map<std::string, std::string> WindowState() {
        std::map<std::string, std::string> state;
        std::istringstream fields(Poke("window"));
        std::string field;
        while (fields >> field) {
            const size_t equals = field.find('=');
            state[field.substr(0, equals)] = field.substr(equals + 1);
        }
        return state;
    }
};

TEST_F(ProgramTest, TypesEveryKeyOfTheLayoutInAllFourPlanes) {
    Probe probe;
    Program program;
    LayoutEntry table[kLayoutEntryCount];
    BuildLayout(table);
    const std::vector<unsigned> planeModifiers[4] = {{}, {kAlt}, {kShift}, {kShift, kAlt}};

    SetCapsLock(true);
    WaitForTranslation(probe);
    std::vector<std::pair<uint16_t, bool>> expected; // character, wrapped in Left-Ctrl
    for (unsigned plane = 0; plane < 4; ++plane) {
        for (unsigned scan = 0; scan < kLayoutEntryCount; ++scan) {
            const uint16_t unit = LayoutUnit(table[scan], plane);
            if (unit == 0) {
                continue;
            }
            TapWith(planeModifiers[plane], scan);
            expected.emplace_back(unit, (plane & 1) != 0);
        }
    }
    probe.Settle();

    // What reaches the application's input: for each key, exactly the injected character,
    // between an injected Left-Ctrl press and release on the Alt planes.
    std::vector<std::pair<uint16_t, bool>> typed;
    bool ctrlDown = false;
    for (const ProbeEvent& e : Keys(probe.Events(), true)) {
        if (e.vk == kVkLeftCtrl) {
            ctrlDown = e.down;
        } else if (e.vk == kVkPacket && e.down) {
            typed.emplace_back(static_cast<uint16_t>(e.code), ctrlDown);
        }
    }
    ASSERT_EQ(typed.size(), expected.size());
    for (size_t i = 0; i < typed.size(); ++i) {
        EXPECT_EQ(typed[i], expected[i]) << "key " << i;
    }
    // The physical presses of mapped keys were swallowed; only modifiers came through down.
    for (const ProbeEvent& e : Keys(probe.Events(), false)) {
        if (e.down) {
            EXPECT_TRUE(e.code == kShift || e.code == kAlt) << "scan " << e.code;
        }
    }
}

TEST_F(ProgramTest, CapsLockOffAndCtrlShortcutsPassUntouched) {
    Probe probe;
    Program program;
    TapKey(kScanQ);
    SetCapsLock(true);
    TapWith({kCtrl}, kScanC);
    probe.Settle();
    std::vector<unsigned> chars;
    for (const ProbeEvent& e : probe.Events()) {
        if (e.kind == 'C') {
            chars.push_back(e.code);
        }
        EXPECT_FALSE(e.kind == 'K' && e.Injected()) << "nothing is injected";
    }
    EXPECT_EQ(chars, (std::vector<unsigned>{'q', 0x03})); // Ctrl+C arrives as ETX
}

TEST_F(ProgramTest, EchoModeResendsThePressedKey) {
    Probe probe;
    Program program;
    program.Command(402);
    SetCapsLock(true);
    probe.Settle();
    probe.Forget();
    TapKey(kScanK);
    TapWith({kAlt}, kScanK);
    probe.Settle();
    std::vector<std::pair<unsigned, bool>> injected; // vk, down
    for (const ProbeEvent& e : Keys(probe.Events(), true)) {
        injected.emplace_back(e.vk, e.down);
    }
    const std::vector<std::pair<unsigned, bool>> expected = {
        {'K', true}, {'K', false}, {kVkLeftCtrl, true},
        {'K', true}, {'K', false}, {kVkLeftCtrl, false}};
    EXPECT_EQ(injected, expected);
    EXPECT_EQ(ReadSetting("State"), 1);
}

TEST_F(ProgramTest, MenuCommandsTakeEffectAndAreSaved) {
    Probe probe;
    Program program;
    EXPECT_EQ(ReadSetting("State"), -1) << "nothing is written before a command";

    program.ChooseFromMenu(kScanD);
    EXPECT_EQ(ReadSetting("State"), 0);
    probe.Focus();
    SetCapsLock(true);
    TapKey(kScanQ);
    probe.Settle();
    EXPECT_TRUE(Keys(probe.Events(), true).empty()) << "disabled: nothing is translated";
    SetCapsLock(false);

    program.ChooseFromMenu(kScanE);
    EXPECT_EQ(ReadSetting("State"), 1);

    program.ChooseFromMenu(kScanK);
    EXPECT_EQ(ReadSetting("ViewKeyboard"), 1);
    EXPECT_EQ(WindowState()["visible"], "1");
    EXPECT_EQ(WindowState()["topmost"], "0");

    program.ChooseFromMenu(kScanT);
    EXPECT_EQ(ReadSetting("KeyboardAlwaysOnTop"), 1);
    EXPECT_EQ(WindowState()["topmost"], "1");

    program.ChooseFromMenu(kScanK);
    EXPECT_EQ(ReadSetting("ViewKeyboard"), 0);
    EXPECT_EQ(WindowState()["visible"], "0");
    EXPECT_EQ(ReadSetting("KeyboardAlwaysOnTop"), 1);
    EXPECT_EQ(ReadSetting("State"), 1);
}

TEST_F(ProgramTest, StartsFromTheStoredSettings) {
    StoreSetting("State", 0);
    StoreSetting("ViewKeyboard", 1);
    StoreSetting("KeyboardAlwaysOnTop", 1);
    Probe probe;
    Program program;
    const auto window = WindowState();
    EXPECT_EQ(window.at("visible"), "1");
    EXPECT_EQ(window.at("topmost"), "1");
    probe.Focus();
    SetCapsLock(true);
    TapKey(kScanQ);
    probe.Settle();
    EXPECT_TRUE(Keys(probe.Events(), true).empty()) << "stored off: keys pass";
}

TEST_F(ProgramTest, ExitEndsTheProgramAndKeepsTheStoredState) {
    StoreSetting("State", 1);
    Probe probe;
    Program program;
    EXPECT_EQ(Poke("icon"), "1\n");
    program.ChooseFromMenu(kScanX);
    EXPECT_TRUE(WaitForExit(program.process(), 10000));
    EXPECT_EQ(Poke("exists"), "0\n");
    EXPECT_EQ(ReadSetting("State"), 1);
    // The hook went with the process: keys pass again.
    SetCapsLock(true);
    probe.Focus();
    TapKey(kScanQ);
    probe.Settle();
    EXPECT_TRUE(Keys(probe.Events(), true).empty());
}

TEST_F(ProgramTest, HelpOpensFromTheMenuAndClosesWithEscape) {
    Probe probe;
    Program program;
    program.ChooseFromMenu(kScanH);
    const std::string dialog = Poke("dialog");
    EXPECT_NE(dialog.find("title|Help visible=1"), std::string::npos) << dialog;
    EXPECT_NE(dialog.find("|Qelvaro\n"), std::string::npos) << dialog;
    EXPECT_NE(dialog.find("|Version \n"), std::string::npos) << dialog;
    EXPECT_NE(dialog.find("|3.5\n"), std::string::npos) << dialog;
    EXPECT_NE(dialog.find("1|OK\n"), std::string::npos) << dialog;
    FocusWindowNamed("Help");
    TapKey(kEscape);
    Poke("sync");
    EXPECT_EQ(Poke("dialog"), "none\n");
    EXPECT_TRUE(program.Running());
}

TEST_F(ProgramTest, ShowsThePicturePaintedInTheWindow) {
    StoreSetting("ViewKeyboard", 1);
    Probe probe;
    Program program;
    const auto window = WindowState();
    int left = 0, top = 0, right = 0, bottom = 0;
    ASSERT_EQ(sscanf(window.at("client").c_str(), "%d,%d,%d,%d", &left, &top, &right, &bottom), 4);
    // The stretched picture of the layout, not a white or black area: count its colours.
    const std::string colours =
        RunCommand("import -window root -crop " + std::to_string(right - left) + "x" +
                   std::to_string(bottom - top) + "+" + std::to_string(left) + "+" +
                   std::to_string(top) + " +repage -format %k info:-");
    EXPECT_GT(std::stoi(colours), 200) << "distinct colours in the client area";
}

TEST_F(ProgramTest, AddsTheIconAgainWhenTheShellRestarts) {
    Probe probe;
    Program program;
    EXPECT_EQ(Poke("icon"), "1\n");
    // The shell forgets every icon when it restarts.
    Poke("drop-icon");
    EXPECT_EQ(Poke("icon"), "0\n");
    Poke("taskbar-created");
    Poke("sync");
    EXPECT_EQ(Poke("icon"), "1\n");
}

} // namespace
