// The end-to-end harness: runs Windows programs under Wine on the X display the suite was given,
// types on that display with XTest as a person would, and reads what the probe application saw.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// One line of the probe's log: a key event after qelvaro's hook ('K'), or a character ('C').
struct ProbeEvent {
    char kind;      // 'K' key event, 'C' WM_CHAR, 'S' WM_SYSCHAR, 'M' modifier report
    bool down;      // K
    unsigned vk;    // K
    unsigned code;  // K: scan code (the character for a packet); C, S: the character; M: bits
    unsigned flags; // K: LLKHF_* flags
    unsigned extra; // K: the sender's extra information (low 32 bits)
    bool Injected() const {
        return (flags & 0x10) != 0;
    }
};

std::string ProgramDirectory(); // where qelvaro.exe, probe.exe and poke.exe were built
std::string RunCommand(const std::string& command, int* status = nullptr);
std::string Poke(const std::string& arguments, int* status = nullptr);
pid_t StartWineProgram(const std::string& exe, const std::vector<std::string>& arguments);
bool WaitForExit(pid_t process, int timeoutMs);
void StopProcess(pid_t process);

// HKCU\Software\Tarnwell\Qelvaro, read and written through Wine's reg.exe.
void ClearSettings();
void StoreSetting(const std::string& name, unsigned value);
// -1 when the value is absent.
long long ReadSetting(const std::string& name);

// Keys by set-1 scan code; XTest adds 8 to make the X keycode of the main block.
void PressKey(unsigned scan);
void ReleaseKey(unsigned scan);
void TapKey(unsigned scan);
// Typing with modifiers held: Shift (42), Alt (56) or Ctrl (29) scan codes.
void TapWith(const std::vector<unsigned>& modifiers, unsigned scan);
// One key event by set-1 scan code, for TypeFast.
struct KeyEvent {
    unsigned scan;
    bool down;
};
// Sends the events back to back without SendKey's pause, as fast as the X server takes them.
void TypeFast(const std::vector<KeyEvent>& events);
// The X server's key repeat for held keys: first repeat after delayMs, then every intervalMs.
void SetAutoRepeat(unsigned delayMs, unsigned intervalMs);
// Every key event the X server takes from its keyboard while it lives, the server's own
// auto-repeats included, in order: what the keyboard really did.
class KeyRecorder {
  public:
    KeyRecorder();
    ~KeyRecorder();
    KeyRecorder(const KeyRecorder&) = delete;
    KeyRecorder& operator=(const KeyRecorder&) = delete;
    void Poll(); // takes in what the server has recorded so far
    std::vector<KeyEvent> Stop();

  private:
    void* control_ = nullptr; // Display*, for the commands
    void* data_ = nullptr;    // Display*, on which the records arrive
    unsigned long context_ = 0;
    std::vector<KeyEvent> events_;
};
bool CapsLockOn();
void SetCapsLock(bool on);
void ClickAt(int x, int y);
// Gives the X focus to the visible window with this exact title.
void FocusWindowNamed(const std::string& name);

class Probe {
  public:
    Probe();
    ~Probe();
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;
    // Gives the probe's window the keyboard focus again, with a click as a person would.
    void Focus();
    // Presses and releases F12 and waits until the probe sees the release: everything typed
    // before it has then passed through the hooks.
    void Settle();
    std::vector<ProbeEvent> Events();
    void Forget(); // drops the events seen so far
    // Bits of the keys GetAsyncKeyState reports down: LShift RShift LCtrl RCtrl LAlt RAlt.
    unsigned ModifiersDown();

  private:
    std::string logPath_;
    pid_t process_ = -1;
    size_t seen_ = 0;
};

// qelvaro.exe (or another build of it beside), started and waited for until its loop runs.
class Program {
  public:
    explicit Program(const std::string& exe = "qelvaro.exe");
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    void Command(unsigned id);
    // Opens the tray menu as the shell does on a right click, then types the mnemonic.
    void ChooseFromMenu(unsigned mnemonicScan);
    bool Running();
    pid_t process() const {
        return process_;
    }

  private:
    pid_t process_ = -1;
};

// Waits until a paced Q comes out translated: right after Caps Lock changes, Wine can drop or hand
// on the next fast burst before the hook sees the new state.
void WaitForTranslation(Probe& probe);
