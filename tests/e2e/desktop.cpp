#include "desktop.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/record.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr unsigned kScanF12 = 88;
constexpr unsigned kScanCapsLock = 58;
constexpr unsigned kVkF12 = 0x7B;
const char kSettingsKey[] = "HKCU\\\\Software\\\\Tarnwell\\\\Qelvaro";

Display* TheDisplay() {
    static Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        throw std::runtime_error("no X display");
    }
    return display;
}

void SendKey(unsigned scan, bool down) {
    Display* display = TheDisplay();
    XTestFakeKeyEvent(display, scan + 8, down ? True : False, CurrentTime);
    XFlush(display);
    // Without a pause the X server merges nothing, but Wine's X input thread can fall behind the
    // tests' waits; the load suites type without it on purpose.
    usleep(2000);
}

void Pause(int ms) {
    usleep(static_cast<useconds_t>(ms) * 1000);
}

std::string WindowsPath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path) {
        if (c == '/') {
            c = '\\';
        }
    }
    return path;
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

} // namespace

std::string ProgramDirectory() {
    return QELVARO_WINDOWS_BIN;
}

std::string RunCommand(const std::string& command, int* status) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    char buffer[4096];
    size_t count = 0;
    while ((count = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, count);
    }
    const int result = pclose(pipe);
    if (status != nullptr) {
        *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    }
    return output;
}

std::string Poke(const std::string& arguments, int* status) {
    std::string output =
        RunCommand("wine " + Quoted(ProgramDirectory() + "/poke.exe") + " " + arguments, status);
    // Wine's console writes Windows line ends.
    output.erase(std::remove(output.begin(), output.end(), '\r'), output.end());
    return output;
}

pid_t StartWineProgram(const std::string& exe, const std::vector<std::string>& arguments) {
    const std::string path = ProgramDirectory() + "/" + exe;
    std::vector<const char*> argv{"wine", path.c_str()};
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        execvp("wine", const_cast<char* const*>(argv.data()));
        _exit(127);
    }
    return child;
}

bool WaitForExit(pid_t process, int timeoutMs) {
    for (int waited = 0; waited <= timeoutMs; waited += 20) {
        int status = 0;
        const pid_t result = waitpid(process, &status, WNOHANG);
        if (result == process || (result < 0 && errno == ECHILD)) {
            return true;
        }
        Pause(20);
    }
    return false;
}

void StopProcess(pid_t process) {
    if (process <= 0 || WaitForExit(process, 0)) {
        return;
    }
    kill(process, SIGKILL);
    WaitForExit(process, 5000);
}

void ClearSettings() {
    RunCommand(std::string("wine reg delete ") + kSettingsKey + " /f >/dev/null 2>&1");
}

void StoreSetting(const std::string& name, unsigned value) {
    RunCommand(std::string("wine reg add ") + kSettingsKey + " /v " + name + " /t REG_DWORD /d " +
               std::to_string(value) + " /f >/dev/null 2>&1");
}

long long ReadSetting(const std::string& name) {
    int status = 0;
    const std::string output = RunCommand(
        std::string("wine reg query ") + kSettingsKey + " /v " + name + " 2>/dev/null", &status);
    const size_t at = output.find("REG_DWORD");
    if (status != 0 || at == std::string::npos) {
        return -1;
    }
    return std::stoll(output.substr(at + 9), nullptr, 0);
}

void PressKey(unsigned scan) {
    SendKey(scan, true);
}

void ReleaseKey(unsigned scan) {
    SendKey(scan, false);
}

void TapKey(unsigned scan) {
    PressKey(scan);
    ReleaseKey(scan);
}

void TypeFast(const std::vector<KeyEvent>& events) {
    Display* display = TheDisplay();
    for (const KeyEvent& event : events) {
        XTestFakeKeyEvent(display, event.scan + 8, event.down ? True : False, CurrentTime);
    }
    XFlush(display);
}

void TapWith(const std::vector<unsigned>& modifiers, unsigned scan) {
    for (unsigned modifier : modifiers) {
        PressKey(modifier);
    }
    TapKey(scan);
    for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) {
        ReleaseKey(*it);
    }
}

void SetAutoRepeat(unsigned delayMs, unsigned intervalMs) {
    Display* display = TheDisplay();
    XAutoRepeatOn(display);
    XkbSetAutoRepeatRate(display, XkbUseCoreKbd, delayMs, intervalMs);
    XSync(display, False);
}

namespace {

void TakeRecord(XPointer closure, XRecordInterceptData* record) {
    auto* events = reinterpret_cast<std::vector<KeyEvent>*>(closure);
    if (record->category == XRecordEndOfData) {
        events->push_back({0, false}); // keycode 0 is never a key: marks the end
    } else if (record->category == XRecordFromServer && record->data != nullptr) {
        const unsigned type = record->data[0] & 0x7F;
        const unsigned keycode = record->data[1];
        if ((type == KeyPress || type == KeyRelease) && keycode >= 8) {
            events->push_back({keycode - 8, type == KeyPress});
        }
    }
    XRecordFreeData(record);
}

} // namespace

KeyRecorder::KeyRecorder() {
    Display* control = XOpenDisplay(nullptr);
    Display* data = XOpenDisplay(nullptr);
    if (control == nullptr || data == nullptr) {
        throw std::runtime_error("no X display to record on");
    }
    control_ = control;
    data_ = data;
    XRecordRange* range = XRecordAllocRange();
    range->device_events.first = KeyPress;
    range->device_events.last = KeyRelease;
    XRecordClientSpec clients = XRecordAllClients;
    context_ = XRecordCreateContext(control, 0, &clients, 1, &range, 1);
    XFree(range);
    XSync(control, False); // the data connection must find the context made
    if (context_ == 0 || !XRecordEnableContextAsync(data, context_, TakeRecord,
                                                    reinterpret_cast<XPointer>(&events_))) {
        throw std::runtime_error("the X server does not record key events");
    }
}

KeyRecorder::~KeyRecorder() {
    if (context_ != 0) {
        Stop();
    }
    XCloseDisplay(static_cast<Display*>(data_));
    XCloseDisplay(static_cast<Display*>(control_));
}

void KeyRecorder::Poll() {
    XPending(static_cast<Display*>(data_));
    XRecordProcessReplies(static_cast<Display*>(data_));
}

std::vector<KeyEvent> KeyRecorder::Stop() {
    if (context_ != 0) {
        Display* control = static_cast<Display*>(control_);
        XSync(TheDisplay(), False); // every key typed so far is taken in before the end
        XRecordDisableContext(control, context_);
        XSync(control, False);
        // The last records, up to the one that ends the recording.
        for (int waited = 0; waited < 5000 && (events_.empty() || events_.back().scan != 0);
             waited += 10) {
            Poll();
            Pause(10);
        }
        if (!events_.empty() && events_.back().scan == 0) {
            events_.pop_back();
        }
        XRecordFreeContext(control, context_);
        XSync(control, False);
        context_ = 0;
    }
    return events_;
}

bool CapsLockOn() {
    unsigned state = 0;
    XkbGetIndicatorState(TheDisplay(), XkbUseCoreKbd, &state);
    return (state & 1u) != 0;
}

void SetCapsLock(bool on) {
    if (CapsLockOn() != on) {
        TapKey(kScanCapsLock);
    }
}

void FocusWindowNamed(const std::string& name) {
    RunCommand("timeout 10 xdotool search --sync --onlyvisible --name " + Quoted("^" + name + "$") +
               " windowfocus >/dev/null 2>&1");
    Pause(200);
}

void ClickAt(int x, int y) {
    Display* display = TheDisplay();
    XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XFlush(display);
    Pause(100);
}

Probe::Probe() {
    char directory[] = "/tmp/qelvaro-probe.XXXXXX";
    if (mkdtemp(directory) == nullptr) {
        throw std::runtime_error("mkdtemp");
    }
    logPath_ = std::string(directory) + "/probe.log";
    process_ = StartWineProgram("probe.exe", {WindowsPath(logPath_)});
    for (int waited = 0; waited < 20000; waited += 50) {
        std::ifstream log(logPath_);
        std::string first;
        if (std::getline(log, first) && first.rfind("ready", 0) == 0) {
            Focus();
            return;
        }
        Pause(50);
    }
    throw std::runtime_error("the probe did not start");
}

Probe::~Probe() {
    StopProcess(process_);
    RunCommand("rm -rf " + Quoted(logPath_.substr(0, logPath_.rfind('/'))));
}

void Probe::Focus() {
    RunCommand("xdotool search --sync --name 'Qelvaro probe' windowfocus --sync >/dev/null 2>&1");
    ClickAt(500, 700); // inside the probe's client area, placed at (300, 600) by the probe
}

void Probe::Settle() {
    TapKey(kScanF12);
    for (int waited = 0; waited < 15000; waited += 20) {
        for (const ProbeEvent& event : Events()) {
            if (event.kind == 'K' && !event.down && event.vk == kVkF12) {
                return;
            }
        }
        Pause(20);
    }
    throw std::runtime_error("the probe never saw F12 come up");
}

std::vector<ProbeEvent> Probe::Events() {
    std::vector<ProbeEvent> events;
    std::ifstream log(logPath_);
    std::string line;
    size_t index = 0;
    while (std::getline(log, line)) {
        if (index++ < seen_ || line.empty()) {
            continue;
        }
        std::istringstream fields(line);
        ProbeEvent event{};
        fields >> event.kind;
        if (event.kind == 'K') {
            char direction = 0;
            fields >> direction >> std::hex >> event.vk >> event.code >> event.flags >> event.extra;
            event.down = direction == 'd';
        } else if (event.kind == 'C' || event.kind == 'S' || event.kind == 'M') {
            fields >> std::hex >> event.code;
        } else {
            continue;
        }
        events.push_back(event);
    }
    return events;
}

void Probe::Forget() {
    std::ifstream log(logPath_);
    std::string line;
    seen_ = 0;
    while (std::getline(log, line)) {
        ++seen_;
    }
}

unsigned Probe::ModifiersDown() {
    const auto reports = [this](unsigned* last) {
        size_t count = 0;
        for (const ProbeEvent& event : Events()) {
            if (event.kind == 'M') {
                *last = event.code;
                ++count;
            }
        }
        return count;
    };
    unsigned down = 0;
    const size_t before = reports(&down);
    Poke("probe-modifiers");
    for (int waited = 0; waited < 15000; waited += 20) {
        if (reports(&down) > before) {
            return down;
        }
        Pause(20);
    }
    throw std::runtime_error("the probe did not report its modifiers");
}

Program::Program(const std::string& exe) {
    process_ = StartWineProgram(exe, {});
    int status = 0;
    Poke("sync", &status);
    if (status != 0) {
        throw std::runtime_error("qelvaro.exe did not reach its message loop");
    }
}

Program::~Program() {
    StopProcess(process_);
}

void Program::Command(unsigned id) {
    Poke("post 0x111 " + std::to_string(id) + " 0");
    Poke("sync");
}

void Program::ChooseFromMenu(unsigned mnemonicScan) {
    Poke("post 0x401 202 0x204"); // WM_TRAYNOTIFY, WM_RBUTTONDOWN
    // The menu's window is the program's only visible one without a title. Under Wine the keys
    // reach the menu once its window has the X focus.
    for (int waited = 0; waited < 5000; waited += 100) {
        std::istringstream windows(
            RunCommand("xdotool search --onlyvisible --classname '^qelvaro\\.exe$' 2>/dev/null"));
        std::string id;
        while (windows >> id) {
            if (RunCommand("xdotool getwindowname " + id) == "\n") {
                RunCommand("xdotool windowfocus " + id + " >/dev/null 2>&1");
                waited = 5000;
                break;
            }
        }
        if (waited < 5000) {
            Pause(100);
        }
    }
    Pause(200);
    TapKey(mnemonicScan);
    Poke("sync");
}

bool Program::Running() {
    return !WaitForExit(process_, 0);
}

// A person's first key after Caps Lock is slower than a test's burst.
void WaitForTranslation(Probe& probe) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        // With no window in the foreground the program swallows the key and types nothing.
        probe.Focus();
        probe.Forget();
        TapKey(16); // Q
        probe.Settle();
        for (const ProbeEvent& e : probe.Events()) {
            if (e.kind == 'K' && e.Injected() && e.vk == 0xE7) {
                Pause(500);
                probe.Settle();
                probe.Forget();
                return;
            }
        }
        Pause(250);
    }
    throw std::runtime_error("translation never started");
}
