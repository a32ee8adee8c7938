// The end-to-end driver's hands inside Wine: sends the running qelvaro.exe what the shell would
// send, and reports what a person would see of it. One command per run, answers on stdout.
#include <windows.h>
#include <psapi.h>
#include <winternl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

UINT const kTrayIconId = 202;
ULONG_PTR const kInjectorMark = 0x1417EC7; // tells the injector's keys from everyone else's
WORD const kScanSpace = 0x39;

HWND FindProgramWindow(DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        HWND window = FindWindowA("Qelvaro", "Qelvaro");
        if (window != nullptr || GetTickCount() - start > timeoutMs) {
            return window;
        }
        Sleep(50);
    }
}

unsigned long Number(const char* text) {
    return strtoul(text, nullptr, 0);
}

NOTIFYICONDATAA IconRecord(HWND window) {
    NOTIFYICONDATAA record{};
    record.cbSize = NOTIFYICONDATAA_V2_SIZE;
    record.hWnd = window;
    record.uID = kTrayIconId;
    return record;
}

// Once the window answers a sent message, start-up is over and the loop is running.
int Sync(HWND window) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &result) ? 0 : 1;
}

void PrintWindow(HWND window) {
    RECT frame{};
    RECT client{};
    GetWindowRect(window, &frame);
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    const LONG_PTR exStyle = GetWindowLongPtrA(window, GWL_EXSTYLE);
    printf("visible=%d topmost=%d iconic=%d zoomed=%d frame=%ld,%ld,%ld,%ld "
           "client=%ld,%ld,%ld,%ld foreground=%d\n",
           IsWindowVisible(window) ? 1 : 0, (exStyle & WS_EX_TOPMOST) ? 1 : 0,
           IsIconic(window) ? 1 : 0, IsZoomed(window) ? 1 : 0, frame.left, frame.top, frame.right,
           frame.bottom, origin.x, origin.y, origin.x + client.right, origin.y + client.bottom,
           GetForegroundWindow() == window ? 1 : 0);
}

BOOL CALLBACK PrintChildText(HWND child, LPARAM) {
    char text[512] = {};
    GetWindowTextA(child, text, sizeof text);
    printf("%ld|%s\n", static_cast<long>(GetDlgCtrlID(child)), text);
    return TRUE;
}

// The Help dialog, owned by the program's window: prints its title and every control's text.
int PrintDialog(HWND owner) {
    HWND dialog = nullptr;
    const DWORD start = GetTickCount();
    while (dialog == nullptr && GetTickCount() - start < 5000) {
        HWND candidate = FindWindowA(MAKEINTATOM(32770), nullptr);
        if (candidate != nullptr && GetWindow(candidate, GW_OWNER) == owner) {
            dialog = candidate;
        } else {
            Sleep(50);
        }
    }
    if (dialog == nullptr) {
        printf("none\n");
        return 1;
    }
    char title[128] = {};
    GetWindowTextA(dialog, title, sizeof title);
    printf("title|%s visible=%d\n", title, IsWindowVisible(dialog) ? 1 : 0);
    EnumChildWindows(dialog, PrintChildText, 0);
    return 0;
}

// The text of a Notepad window, in UTF-8: what an ordinary application received.
int PrintNotepadText() {
    HWND notepad = FindWindowA("Notepad", nullptr);
    HWND edit = notepad != nullptr ? FindWindowExA(notepad, nullptr, "Edit", nullptr) : nullptr;
    if (edit == nullptr) {
        return 1;
    }
    // GetWindowText would only give another process's control its caption, not its contents.
    wchar_t text[1024] = {};
    SendMessageW(edit, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    char utf8[4096] = {};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
    fwrite(utf8, 1, strlen(utf8), stdout);
    return 0;
}

// GetGuiResources is a stub under Wine (always 0), so the GDI objects are also counted in the
// handle table the PEB points to, which Wine keeps as Windows did before Windows 10: 65536
// entries of 24 bytes, the object type in byte 12, 0 for a free entry.
struct GdiTable {
    static constexpr size_t kEntries = 0x10000, kEntrySize = 24, kTypeOffset = 12;
    std::string bytes;

    bool Read(HANDLE process) {
        PROCESS_BASIC_INFORMATION basic{};
        if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic,
                                      nullptr) != 0 ||
            basic.PebBaseAddress == nullptr) {
            return false;
        }
        // GdiSharedHandleTable: at 0xF8 of a 64-bit PEB, 0x94 of a 32-bit one.
        const size_t offset = sizeof(void*) == 8 ? 0xF8 : 0x94;
        void* table = nullptr;
        bytes.assign(kEntries * kEntrySize, '\0');
        return ReadProcessMemory(process, reinterpret_cast<BYTE*>(basic.PebBaseAddress) + offset,
                                 &table, sizeof table, nullptr) &&
               table != nullptr &&
               ReadProcessMemory(process, table, &bytes[0], bytes.size(), nullptr);
    }
    long Count() const {
        long count = 0;
        for (size_t entry = 0; entry < kEntries; ++entry) {
            count += bytes[entry * kEntrySize + kTypeOffset] != 0 ? 1 : 0;
        }
        return count;
    }
};

// -1 unless the table is where it is expected: reading our own must show 64 new brushes.
long CountGdiObjects(HANDLE process) {
    GdiTable own;
    if (!own.Read(GetCurrentProcess())) {
        return -1;
    }
    const long before = own.Count();
    HBRUSH brushes[64];
    for (HBRUSH& brush : brushes) {
        brush = CreateSolidBrush(RGB(1, 2, 3));
    }
    own.Read(GetCurrentProcess());
    const long after = own.Count();
    for (HBRUSH brush : brushes) {
        DeleteObject(brush);
    }
    GdiTable table;
    return after - before == 64 && table.Read(process) ? table.Count() : -1;
}

int PrintResources(HWND window) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (process == nullptr) {
        return 1;
    }
    PROCESS_MEMORY_COUNTERS_EX memory{};
    GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                         sizeof memory);
    printf("user=%lu gdi=%lu private=%llu workingset=%llu gditable=%ld\n",
           GetGuiResources(process, GR_USEROBJECTS), GetGuiResources(process, GR_GDIOBJECTS),
           static_cast<unsigned long long>(memory.PrivateUsage),
           static_cast<unsigned long long>(memory.WorkingSetSize), CountGdiObjects(process));
    CloseHandle(process);
    return 0;
}

HWND VisibleMenuOf(DWORD threadId) {
    for (HWND menu = FindWindowA("#32768", nullptr); menu != nullptr;
         menu = FindWindowExA(nullptr, menu, "#32768", nullptr)) {
        if (IsWindowVisible(menu) && GetWindowThreadProcessId(menu, nullptr) == threadId) {
            return menu;
        }
    }
    return nullptr;
}

bool WaitFor(bool (*done)(DWORD), DWORD threadId) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < 5000; Sleep(1)) {
        if (done(threadId)) {
            return true;
        }
    }
    return false;
}

// COUNT rounds of one kind, each as the shell or the menu would send it: "menu" opens the tray
// menu and closes it with Escape; "view" shows and hides the window; "translation" disables and
// enables translation. Prints the rounds completed.
int Cycle(HWND window, const std::string& kind, unsigned count) {
    const DWORD thread = GetWindowThreadProcessId(window, nullptr);
    DWORD_PTR result = 0;
    const auto command = [window, &result](WPARAM id) {
        return SendMessageTimeoutA(window, WM_COMMAND, id, 0, SMTO_NORMAL, 20000, &result) != 0;
    };
    unsigned done = 0;
    for (; done < count; ++done) {
        bool ok = false;
        if (kind == "menu") {
            PostMessageA(window, WM_USER + 1, kTrayIconId, WM_RBUTTONDOWN);
            ok = WaitFor([](DWORD t) { return VisibleMenuOf(t) != nullptr; }, thread) &&
                 PostMessageA(VisibleMenuOf(thread), WM_KEYDOWN, VK_ESCAPE, 0) &&
                 WaitFor([](DWORD t) { return VisibleMenuOf(t) == nullptr; }, thread);
        } else if (kind == "view") {
            ok = command(410) && command(410);
        } else if (kind == "translation") {
            ok = command(400) && command(401);
        }
        if (!ok) {
            break;
        }
    }
    printf("%u\n", done);
    return done == count ? 0 : 1;
}

void SendKey(WORD virtualKey, WORD scan, DWORD flags) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = scan;
    input.ki.dwFlags = flags;
    input.ki.dwExtraInfo = kInjectorMark;
    SendInput(1, &input, sizeof input);
}

// Another program typing beside the person: COUNT characters as Unicode packets, PAUSE ms
// apart, every third followed by a space key sent by scan code. The characters alternate
// between ideographs and ASCII whose codes are also scan codes of mapped keys. Prints what it
// sent, in order: "p" and the character, or "s" and the scan code.
int InjectBeside(unsigned count, unsigned pauseMs) {
    for (unsigned i = 0; i < count; ++i) {
        const WORD character = static_cast<WORD>(i % 2 == 0 ? 0x4E00 + i : 0x20 + i % 22);
        SendKey(0, character, KEYEVENTF_UNICODE);
        SendKey(0, character, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP);
        printf("p %x\n", character);
        if (i % 3 == 2) {
            SendKey(0, kScanSpace, KEYEVENTF_SCANCODE);
            SendKey(0, kScanSpace, KEYEVENTF_SCANCODE | KEYEVENTF_KEYUP);
            printf("s %x\n", kScanSpace);
        }
        Sleep(pauseMs);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: poke COMMAND [ARGS]\n");
        return 2;
    }
    const std::string command = argv[1];
    if (command == "notepad-text") {
        return PrintNotepadText();
    }
    if (command == "foreground") {
        char name[64] = {};
        GetClassNameA(GetForegroundWindow(), name, sizeof name);
        printf("%s\n", name);
        return 0;
    }
    if (command == "inject" && argc == 4) {
        return InjectBeside(static_cast<unsigned>(Number(argv[2])),
                            static_cast<unsigned>(Number(argv[3])));
    }
    if (command == "probe-modifiers") {
        HWND probe = FindWindowA("QelvaroProbe", nullptr);
        return probe != nullptr && PostMessageA(probe, WM_APP + 1, 0, 0) ? 0 : 1;
    }
    HWND window = FindProgramWindow(command == "sync" ? 20000 : 2000);
    if (command == "exists") {
        printf("%d\n", window != nullptr ? 1 : 0);
        return 0;
    }
    if (window == nullptr) {
        printf("no window\n");
        return 1;
    }
    if (command == "sync") {
        return Sync(window);
    }
    if (command == "post" && argc == 5) {
        return PostMessageA(window, static_cast<UINT>(Number(argv[2])), Number(argv[3]),
                            static_cast<LPARAM>(Number(argv[4])))
                   ? 0
                   : 1;
    }
    if (command == "window") {
        PrintWindow(window);
        return 0;
    }
    if (command == "dialog") {
        return PrintDialog(window);
    }
    if (command == "resources") {
        return PrintResources(window);
    }
    if (command == "cycle" && argc == 4) {
        return Cycle(window, argv[2], static_cast<unsigned>(Number(argv[3])));
    }
    if (command == "icon") {
        // Modifying nothing succeeds only while the shell holds an icon for this window and id.
        NOTIFYICONDATAA record = IconRecord(window);
        printf("%d\n", Shell_NotifyIconA(NIM_MODIFY, &record) ? 1 : 0);
        return 0;
    }
    if (command == "drop-icon") {
        NOTIFYICONDATAA record = IconRecord(window);
        return Shell_NotifyIconA(NIM_DELETE, &record) ? 0 : 1;
    }
    if (command == "taskbar-created") {
        // What a restarted shell broadcasts to every top-level window.
        const UINT message = RegisterWindowMessageA("TaskbarCreated");
        return PostMessageA(HWND_BROADCAST, message, 0, 0) ? 0 : 1;
    }
    fprintf(stderr, "unknown command %s\n", command.c_str());
    return 2;
}
