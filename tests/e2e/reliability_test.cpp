// qelvaro.exe under load and abuse: typing faster than any person, other input beside it, bad
// stored settings, a damaged picture, long runs of commands. Each case ends with its figures.
#include "desktop.h"

#include <gtest/gtest.h>

#include "translation/layout.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

constexpr unsigned kLeftShift = 42, kRightShift = 54, kAlt = 56, kScanF12 = 88, kScanQ = 16;
constexpr unsigned kVkPacket = 0xE7, kVkLeftCtrl = 0xA2, kVkF12 = 0x7B;
constexpr unsigned kInjectorMark = 0x1417EC7; // how poke marks the keys it injects

// The same sequence on every run, so a failure can be repeated.
class Dice {
  public:
    unsigned Roll(unsigned sides) {
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<unsigned>(state_ >> 33) % sides;
    }

  private:
    uint64_t state_ = 0x5eed;
};

void Figures(const std::string& text) {
    ::testing::Test::RecordProperty("figures", text);
    printf("figures: %s\n", text.c_str());
}

// Typing faster than any person: bursts of runs of mapped keys, each run under one plane's
// modifiers, sent back to back; now and then a key held down until the X server repeats it.
// Between bursts the test waits for the probe: Wine gives each hook call 2 s from the moment
// the event is queued, and a queue thousands of events deep would outlast that.
struct Burst {
    std::vector<KeyEvent> events;
    size_t holdAt = 0; // with holdMs: the key pressed last before this event is held
    unsigned holdMs = 0;
};

struct Storm {
    std::vector<Burst> bursts;
    size_t presses = 0, events = 0, held = 0;
};

Storm MakeStorm(const LayoutEntry (&table)[kLayoutEntryCount], size_t presses, unsigned holdMs) {
    std::vector<unsigned> mapped[kLayoutPlaneCount];
    for (unsigned plane = 0; plane < kLayoutPlaneCount; ++plane) {
        for (unsigned scan = 0; scan < kLayoutEntryCount; ++scan) {
            if (LayoutUnit(table[scan], plane) != 0) {
                mapped[plane].push_back(scan);
            }
        }
    }
    Dice dice;
    Storm storm;
    while (storm.presses < presses) {
        Burst burst;
        const bool hold = dice.Roll(40) == 0;
        for (unsigned runs = 1 + dice.Roll(6); runs > 0; --runs) {
            const unsigned plane = dice.Roll(kLayoutPlaneCount);
            std::vector<unsigned> modifiers;
            if (plane & 2) {
                modifiers.push_back(dice.Roll(2) == 0 ? kLeftShift : kRightShift);
            }
            if (plane & 1) {
                modifiers.push_back(kAlt);
            }
            for (unsigned modifier : modifiers) {
                burst.events.push_back({modifier, true});
            }
            for (unsigned keys = 1 + dice.Roll(8); keys > 0; --keys) {
                const unsigned scan = mapped[plane][dice.Roll(mapped[plane].size())];
                burst.events.push_back({scan, true});
                if (hold && burst.holdMs == 0) {
                    burst.holdAt = burst.events.size();
                    burst.holdMs = holdMs;
                    ++storm.held;
                }
                burst.events.push_back({scan, false});
                ++storm.presses;
            }
            for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) {
                burst.events.push_back({*it, false});
            }
        }
        storm.events += burst.events.size();
        storm.bursts.push_back(burst);
    }
    return storm;
}

// Types the bursts, each after the probe has taken in the last; returns what the probe saw.
std::vector<ProbeEvent> Type(const Storm& storm, Probe& probe, KeyRecorder& recorder) {
    std::vector<ProbeEvent> seen;
    for (const Burst& burst : storm.bursts) {
        const auto middle = burst.events.begin() + static_cast<long>(burst.holdAt);
        TypeFast({burst.events.begin(), middle});
        usleep(burst.holdMs * 1000);
        TypeFast({middle, burst.events.end()});
        recorder.Poll();
        probe.Settle();
        const std::vector<ProbeEvent> events = probe.Events();
        seen.insert(seen.end(), events.begin(), events.end());
        probe.Forget();
    }
    return seen;
}

bool IsModifier(unsigned scan) {
    return scan == kLeftShift || scan == kRightShift || scan == kAlt;
}

// The characters the presses should give, from what the X server recorded: every press the
// keyboard made, auto-repeats included, in order, with the Shift and Alt state each came under.
struct Expected {
    std::vector<uint16_t> characters;
    std::vector<bool> wrapped;
    size_t presses = 0, repeats = 0, wraps = 0;
};

Expected ExpectedFromKeyboard(const LayoutEntry (&table)[kLayoutEntryCount],
                              const std::vector<KeyEvent>& events) {
    Expected expected;
    bool down[kLayoutEntryCount] = {};
    for (const KeyEvent& e : events) {
        if (e.scan >= kLayoutEntryCount) {
            continue;
        }
        const bool repeat = e.down && down[e.scan];
        down[e.scan] = e.down;
        if (!e.down || IsModifier(e.scan) || e.scan == kScanF12) {
            continue;
        }
        const bool alt = down[kAlt], shift = down[kLeftShift] || down[kRightShift];
        expected.characters.push_back(LayoutUnit(table[e.scan], (shift ? 2 : 0) + (alt ? 1 : 0)));
        expected.wrapped.push_back(alt);
        ++expected.presses;
        expected.repeats += repeat ? 1 : 0;
        expected.wraps += alt ? 1 : 0;
    }
    return expected;
}

// What reached the application's key input after the program's hook, split by sender.
struct Received {
    std::vector<uint16_t> characters; // the program's packets
    std::vector<bool> wrapped;        // each inside an injected Left-Ctrl press and release
    std::vector<std::string> beside;  // the other program's keys, as it prints them
    size_t charMessages = 0, leaked = 0, interleavings = 0;
};

Received Split(const std::vector<ProbeEvent>& events) {
    Received received;
    bool ctrlDown = false, besideLast = false;
    for (const ProbeEvent& e : events) {
        if (e.kind == 'C' || e.kind == 'S') {
            ++received.charMessages;
        } else if (e.kind != 'K') {
            continue;
        } else if (e.Injected() && e.vk == kVkLeftCtrl) {
            ctrlDown = e.down;
        } else if (!e.down) {
            continue;
        } else if (e.Injected() && e.extra == kInjectorMark) {
            char line[16];
            snprintf(line, sizeof line, "%c %x", e.vk == kVkPacket ? 'p' : 's', e.code);
            received.beside.push_back(line);
            besideLast = true;
        } else if (e.Injected() && e.vk == kVkPacket) {
            received.characters.push_back(static_cast<uint16_t>(e.code));
            received.wrapped.push_back(ctrlDown);
            received.interleavings += besideLast ? 1 : 0;
            besideLast = false;
        } else if (!e.Injected() && e.vk != kVkF12 && !IsModifier(e.code)) {
            ++received.leaked;
        }
    }
    return received;
}

class ReliabilityTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ClearSettings();
        SetCapsLock(false);
        BuildLayout(table_);
    }
    void TearDown() override {
        SetCapsLock(false);
    }
    // Types a storm of this many presses into the probe with the program running and checks
    // that the program typed exactly one character for each press the keyboard made, in order,
    // Ctrl-wrapped under Alt, and left no modifier down. Its figures line starts with `figures`.
    Received StormChecked(size_t presses, const std::function<void()>& beside,
                          std::string figures) {
        const Storm storm = MakeStorm(table_, presses, 300);
        Probe probe;
        Program program;
        SetAutoRepeat(100, 10);
        SetCapsLock(true);
        WaitForTranslation(probe);
        KeyRecorder recorder;
        std::thread besideStorm(beside);
        std::vector<ProbeEvent> events;
        try {
            events = Type(storm, probe, recorder);
        } catch (...) {
            besideStorm.join();
            throw;
        }
        besideStorm.join();
        probe.Settle();
        const std::vector<ProbeEvent> rest = probe.Events();
        events.insert(events.end(), rest.begin(), rest.end());
        const Expected expected = ExpectedFromKeyboard(table_, recorder.Stop());
        const Received received = Split(events);
        const unsigned modifiers = probe.ModifiersDown();
        // The key input the application gets is exact; Wine 8's TranslateMessage turns packets
        // into WM_CHAR unreliably under load (lost, or mixed with lParam flags), so the count of
        // WM_CHAR is a figure, not a check.
        Figures(figures + "typed presses=" + std::to_string(storm.presses) + " in bursts=" +
                std::to_string(storm.bursts.size()) + " X events=" + std::to_string(storm.events) +
                " held keys=" + std::to_string(storm.held) +
                " presses recorded by X=" + std::to_string(expected.presses) +
                " of which auto-repeats=" + std::to_string(expected.repeats) +
                " characters typed by the program=" + std::to_string(received.characters.size()) +
                " Ctrl wraps=" + std::to_string(expected.wraps) +
                " WM_CHAR=" + std::to_string(received.charMessages) +
                " leaked presses=" + std::to_string(received.leaked) +
                " modifiers down after=" + std::to_string(modifiers));
        EXPECT_EQ(expected.presses, storm.presses + expected.repeats) << "X lost or added";
        EXPECT_GT(expected.repeats, storm.held) << "held keys repeat";
        EXPECT_EQ(received.characters, expected.characters);
        EXPECT_EQ(received.wrapped, expected.wrapped);
        EXPECT_EQ(received.leaked, 0u);
        EXPECT_EQ(modifiers, 0u);
        return received;
    }

    LayoutEntry table_[kLayoutEntryCount];
};

TEST_F(ReliabilityTest, StormOfKeysArrivesCompleteInOrderAndLeavesNoModifierDown) {
    const Received received = StormChecked(
        5000, [] {}, "");
    size_t wraps = 0;
    for (bool wrapped : received.wrapped) {
        wraps += wrapped ? 1 : 0;
    }
    EXPECT_GT(wraps, 1000u);
}

// Another program types Unicode characters and scan-coded keys at the same time, among them
// ASCII whose codes are scan codes of mapped keys: each arrives as it was sent, in its order.
TEST_F(ReliabilityTest, OtherProgramsInputPassesUnchangedThroughTheStorm) {
    std::string sent;
    const Received received = StormChecked(
        1500, [&sent] { sent = Poke("inject 600 15"); }, "beside: ");
    std::vector<std::string> expected;
    std::istringstream lines(sent);
    for (std::string line; std::getline(lines, line);) {
        expected.push_back(line);
    }
    Figures("other program's keys sent=" + std::to_string(expected.size()) +
            " arrived=" + std::to_string(received.beside.size()) + " interleaved with the storm " +
            std::to_string(received.interleavings) + " times");
    EXPECT_EQ(received.beside, expected);
    EXPECT_GT(received.interleavings, 50u);
}

// Runs reg.exe on the Wine prefix: reg VERB KEY ARGUMENTS.
std::string Reg(const std::string& verb, const char* key, const std::string& arguments) {
    return RunCommand("wine reg " + verb + " '" + key + "' " + arguments + " 2>/dev/null");
}

const char kSettingsKey[] = "HKCU\\Software\\Tarnwell\\Qelvaro";
const char kX11DriverKey[] = "HKCU\\Software\\Wine\\X11 Driver";
// Once warm, Wine still adds a GDI object or a heap page now and then whatever the program does;
// a thing lost in every round would add 500 objects, or 128 kB at 256 bytes a round (a menu with
// its eight items takes more).
constexpr long kGdiTolerance = 2;
constexpr long kPrivateToleranceKb = 128;
const char kExplorerKey[] = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";

// The white of the window class's brush, and nothing else, over the whole client area.
std::string ClientColours() {
    std::istringstream fields(Poke("window"));
    std::string field, client;
    while (fields >> field) {
        if (field.rfind("client=", 0) == 0) {
            client = field.substr(7);
        }
    }
    int left = 0, top = 0, right = 0, bottom = 0;
    if (sscanf(client.c_str(), "%d,%d,%d,%d", &left, &top, &right, &bottom) != 4) {
        return "no window";
    }
    return RunCommand("import -window root -crop " + std::to_string(right - left) + "x" +
                      std::to_string(bottom - top) + "+" + std::to_string(left) + "+" +
                      std::to_string(top) + " +repage -format '%k %[pixel:p{0,0}]' info:-");
}

// One paced key press with Caps Lock on: the characters the program typed for it.
std::vector<unsigned> TranslationOf(Probe& probe, unsigned scan) {
    probe.Focus();
    SetCapsLock(true);
    probe.Settle();
    probe.Forget();
    TapKey(scan);
    probe.Settle();
    std::vector<unsigned> typed;
    for (const ProbeEvent& e : probe.Events()) {
        if (e.kind == 'K' && e.down && e.Injected() && e.vk == kVkPacket) {
            typed.push_back(e.code);
        }
    }
    SetCapsLock(false);
    return typed;
}

// Every setting stored in a form the program never writes: it starts, takes the zero-extended
// bytes of a short value and the default for one it cannot read, and writes nothing.
TEST_F(ReliabilityTest, StartsWithOddValuesStoredEverywhere) {
    Reg("add", kSettingsKey, "/v State /t REG_SZ /d on-and-off /f");
    Reg("add", kSettingsKey, "/v ViewKeyboard /t REG_BINARY /d 010000 /f");
    Reg("add", kSettingsKey, "/v KeyboardAlwaysOnTop /t REG_QWORD /d 1 /f");
    Reg("add", kExplorerKey, "/v EnableAutoTray /t REG_BINARY /f");
    const auto stored = [] {
        return Reg("query", kSettingsKey, "") + Reg("query", kExplorerKey, "/v EnableAutoTray");
    };
    const std::string before = stored();
    Probe probe;
    Program program;
    const std::string window = Poke("window");
    EXPECT_NE(window.find("visible=1 topmost=0"), std::string::npos) << window;
    EXPECT_EQ(TranslationOf(probe, kScanQ), std::vector<unsigned>{0x158F});
    EXPECT_TRUE(program.Running());
    EXPECT_EQ(stored(), before);
    EXPECT_NE(before.find("REG_QWORD"), std::string::npos) << before;
    Reg("delete", kExplorerKey, "/v EnableAutoTray /f");
    Figures("4 odd values at start: window shown, not topmost, Q typed U+158F, nothing written");
}

// Builds whose picture resource is cut short or is no picture at all: the window is white and
// everything else works.
TEST_F(ReliabilityTest, DamagedPictureShowsAWhiteWindowAndKeysStillTranslate) {
    for (const char* exe : {"qelvaro_truncated_picture.exe", "qelvaro_notpng_picture.exe"}) {
        SCOPED_TRACE(exe);
        StoreSetting("ViewKeyboard", 1);
        Probe probe;
        Program program(exe);
        const std::string colours = ClientColours();
        EXPECT_EQ(colours, "1 srgb(255,255,255)");
        EXPECT_EQ(TranslationOf(probe, kScanQ), std::vector<unsigned>{0x158F});
        program.Command(430);
        EXPECT_TRUE(WaitForExit(program.process(), 10000)) << "Exit still ends it";
        Figures(std::string(exe) + ": client area colours " + colours + ", Q typed U+158F");
    }
}

// Only the system libraries the program uses, and the C runtime: nothing that could reach a
// network, and nothing that is not on every Windows.
TEST_F(ReliabilityTest, ImportsOnlyTheSystemLibrariesItUses) {
    const std::string table =
        RunCommand("x86_64-w64-mingw32-objdump -p '" + ProgramDirectory() + "/qelvaro.exe'");
    std::istringstream lines(table);
    std::vector<std::string> libraries;
    for (std::string line; std::getline(lines, line);) {
        const size_t at = line.find("DLL Name: ");
        if (at != std::string::npos) {
            std::string name = line.substr(at + 10);
            for (char& c : name) {
                c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
            }
            libraries.push_back(name);
        }
    }
    const std::vector<std::string> allowed = {"user32.dll",   "shell32.dll", "shlwapi.dll",
                                              "kernel32.dll", "ole32.dll",   "gdiplus.dll",
                                              "gdi32.dll",    "msvcrt.dll"};
    std::string names;
    for (const std::string& name : libraries) {
        names += name + " ";
        const bool known = std::find(allowed.begin(), allowed.end(), name) != allowed.end() ||
                           name.rfind("api-ms-win-crt-", 0) == 0;
        EXPECT_TRUE(known) << name;
    }
    EXPECT_GE(libraries.size(), 7u) << table.substr(0, 2000);
    Figures("imports: " + names);
}

// The Linux process that runs a Windows program, found by the path Wine gives it.
pid_t LinuxProcess(const std::string& exe) {
    const std::string pattern = "[" + exe.substr(0, 1) + "]" + exe.substr(1) + "$";
    return static_cast<pid_t>(std::atol(RunCommand("pgrep -f -n '" + pattern + "'").c_str()));
}

// Private bytes as Linux counts them (Wine's own counter is 0): the process's anonymous memory,
// its heaps among it. Pages of mapped files come and go with Wine's caches and are left out.
long PrivateKilobytes(pid_t process) {
    std::ifstream rollup("/proc/" + std::to_string(process) + "/smaps_rollup");
    for (std::string field; rollup >> field;) {
        long kilobytes = 0;
        if (field == "Anonymous:" && rollup >> kilobytes) {
            return kilobytes;
        }
    }
    return 0;
}

long GdiObjects() {
    const std::string resources = Poke("resources");
    const size_t at = resources.find("gditable=");
    return at == std::string::npos ? -1 : std::atol(resources.c_str() + at + 9);
}

// A thousand rounds each of the tray menu, the window and translation, driven as the shell and
// the menu drive them, after 50 to warm Wine's caches: the GDI objects and the private bytes of
// the second 500 rounds stay where the first 500 left them (each half by its lowest reading,
// taken every 100 rounds). One hook is left at the end, which translates each key once and goes
// when disabled.
TEST_F(ReliabilityTest, ThousandRoundsOfEachCommandLeaveObjectsMemoryAndOneHook) {
    // Without a window manager Wine waits a second for one to withdraw each window it hides.
    Reg("add", kX11DriverKey, "/v Managed /d N /f");
    Probe probe;
    Program program;
    const pid_t process = LinuxProcess("qelvaro.exe");
    std::string figures;
    for (const char* kind : {"menu", "view", "translation"}) {
        const std::string cycle = std::string("cycle ") + kind + " ";
        std::string done = Poke(cycle + "50");
        long gdi[11] = {}, memory[11] = {};
        for (int reading = 0; reading < 11; ++reading) {
            if (reading > 0) {
                done += Poke(cycle + "100");
            }
            gdi[reading] = GdiObjects();
            memory[reading] = PrivateKilobytes(process);
        }
        const long firstHalf = *std::min_element(memory, memory + 6);
        const long secondHalf = *std::min_element(memory + 5, memory + 11);
        figures += std::string(kind) + ": GDI objects " + std::to_string(gdi[0]) + " -> " +
                   std::to_string(gdi[5]) + " -> " + std::to_string(gdi[10]) +
                   ", private kB (lowest of each half) " + std::to_string(firstHalf) + " -> " +
                   std::to_string(secondHalf) + "; ";
        EXPECT_EQ(std::count(done.begin(), done.end(), '\n'), 11) << kind << ": " << done;
        EXPECT_GT(gdi[0], 0) << "the GDI handle table could not be read";
        EXPECT_LE(std::labs(gdi[10] - gdi[5]), kGdiTolerance) << kind;
        EXPECT_GT(firstHalf, 0);
        EXPECT_LE(secondHalf, firstHalf + kPrivateToleranceKb) << kind;
    }
    Reg("delete", kX11DriverKey, "/v Managed /f");

    const std::vector<unsigned> enabled = TranslationOf(probe, kScanQ);
    program.Command(400);
    const std::vector<unsigned> disabled = TranslationOf(probe, kScanQ);
    Figures(figures + "allowed: " + std::to_string(kGdiTolerance) + " objects, " +
            std::to_string(kPrivateToleranceKb) +
            " kB; USER objects: GetGuiResources is a stub under Wine; Q typed " +
            std::to_string(enabled.size()) + " character(s) enabled, " +
            std::to_string(disabled.size()) + " disabled");
    EXPECT_EQ(enabled, std::vector<unsigned>{0x158F}) << "one hook, one character";
    EXPECT_TRUE(disabled.empty()) << "no hook left behind";
}

// HKEY_CURRENT_USER as regedit exports it, one "[key] value" line per value.
std::set<std::string> UserRegistry() {
    char path[] = "/tmp/qelvaro-hkcu.XXXXXX";
    const int file = mkstemp(path);
    if (file >= 0) {
        close(file);
    }
    RunCommand(std::string("wine regedit /e '") + path + "' HKEY_CURRENT_USER >/dev/null 2>&1");
    std::istringstream text(RunCommand(std::string("iconv -f UTF-16 -t UTF-8 '") + path + "'"));
    unlink(path);
    std::set<std::string> values;
    std::string key;
    for (std::string line; std::getline(text, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty() && line[0] == '[') {
            key = line;
        } else if (!line.empty() && line[0] != '#') {
            values.insert(key + " " + line);
        }
    }
    return values;
}

// Every file under these folders, with its size and time of change.
std::set<std::string> Files(const std::string& folders) {
    std::istringstream text(
        RunCommand("find " + folders + " -type f -printf '%p %s %T@\\n' 2>/dev/null"));
    std::set<std::string> files;
    for (std::string line; std::getline(text, line);) {
        files.insert(line);
    }
    return files;
}

std::vector<std::string> Added(const std::set<std::string>& before,
                               const std::set<std::string>& after) {
    std::vector<std::string> added;
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(),
                        std::back_inserter(added));
    return added;
}

// The program's sockets that are network ones: Wine's own link to its server is a Unix socket.
size_t NetworkSockets(pid_t process) {
    std::set<std::string> network;
    for (const char* table : {"tcp", "tcp6", "udp", "udp6", "raw", "raw6"}) {
        std::istringstream lines(RunCommand(std::string("cat /proc/net/") + table));
        for (std::string line; std::getline(lines, line);) {
            std::istringstream fields(line);
            std::string field;
            for (int i = 0; i < 10 && fields >> field; ++i) {
            }
            network.insert(field); // the tenth field is the socket's inode
        }
    }
    size_t count = 0;
    std::istringstream links(RunCommand("ls -l /proc/" + std::to_string(process) + "/fd"));
    for (std::string line; std::getline(links, line);) {
        const size_t at = line.find("socket:[");
        if (at != std::string::npos) {
            const std::string inode = line.substr(at + 8, line.find(']', at) - at - 8);
            count += network.count(inode);
        }
    }
    return count;
}

// A whole session, typing and commands included: the registry gains the program's three values
// and nothing else, no file appears or changes, and no network socket is ever open.
TEST_F(ReliabilityTest, SessionWritesOnlyItsThreeValuesNoFileAndNoSocket) {
    const char* prefix = getenv("WINEPREFIX");
    ASSERT_NE(prefix, nullptr);
    // The program starts in a folder of its own, so that anything it put there would show.
    char workplace[] = "/tmp/qelvaro-cwd.XXXXXX";
    ASSERT_NE(mkdtemp(workplace), nullptr);
    const std::string folders = std::string("'") + prefix + "/drive_c' '" + workplace + "'";
    char* home = getcwd(nullptr, 0);
    Probe probe;
    const std::set<std::string> registryBefore = UserRegistry();
    const std::set<std::string> filesBefore = Files(folders);
    size_t sockets = 0, socketChecks = 0;
    {
        EXPECT_EQ(chdir(workplace), 0);
        Program program;
        EXPECT_EQ(chdir(home), 0);
        const pid_t process = LinuxProcess("qelvaro.exe");
        const auto checkSockets = [&] {
            sockets += NetworkSockets(process);
            ++socketChecks;
        };
        checkSockets();
        for (unsigned scan : {kScanQ, 17u, 18u, 19u}) {
            EXPECT_EQ(TranslationOf(probe, scan).size(), 1u);
            checkSockets();
        }
        for (unsigned command : {410u, 411u, 410u, 400u, 401u}) {
            program.Command(command);
            checkSockets();
        }
        program.Command(430);
        EXPECT_TRUE(WaitForExit(program.process(), 10000));
    }
    const std::vector<std::string> values = Added(registryBefore, UserRegistry());
    const std::vector<std::string> files = Added(filesBefore, Files(folders));
    std::string written;
    for (const std::string& line : values) {
        written += line + "\n";
    }
    for (const std::string& line : files) {
        written += line + "\n";
    }
    free(home);
    rmdir(workplace);
    Figures(std::to_string(registryBefore.size()) + " registry values before, " +
            std::to_string(values.size()) + " added or changed; " +
            std::to_string(filesBefore.size()) + " files before, " + std::to_string(files.size()) +
            " added or changed; network sockets " + std::to_string(sockets) + " in " +
            std::to_string(socketChecks) + " looks");
    EXPECT_EQ(sockets, 0u);
    EXPECT_TRUE(files.empty()) << written;
    EXPECT_EQ(values.size(), 3u) << written;
    for (const std::string& line : values) {
        EXPECT_EQ(line.rfind("[HKEY_CURRENT_USER\\Software\\Tarnwell\\Qelvaro] ", 0), 0u) << line;
    }
}

} // namespace
