// Another program beside qelvaro.exe in the reliability runs. Prints what it did, on standard
// output.
//   beside inject COUNT PAUSE_MS   types COUNT characters as Unicode packets, PAUSE_MS apart,
//                   every third followed by a space sent by scan code: ideographs alternate with
//                   control characters whose codes are scan codes of mapped keys (Q to ]),
//                   neither of which qelvaro ever types. Prints each as sent:
//                   "p" and the character, or "s" and the scan code (hex).
//   beside commands FIRST SECOND ROUNDS   sends qelvaro's window the two commands, each once
//                   handled, ROUNDS times; prints the rounds done.
//   beside gdi      prints the GDI objects of qelvaro.exe's process.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "gdi_objects.h"

namespace {

WORD const kScanSpace = 0x39;

void SendKey(WORD virtualKey, WORD scan, DWORD flags) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = scan;
    input.ki.dwFlags = flags;
    SendInput(1, &input, sizeof input);
}

void Inject(unsigned count, DWORD pauseMs) {
    for (unsigned i = 0; i < count; ++i) {
        const WORD character = static_cast<WORD>(i % 2 == 0 ? 0x4E00 + i : 0x10 + i % 12);
        SendKey(0, character, KEYEVENTF_UNICODE);
        SendKey(0, character, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP);
        std::printf("p %x\n", character);
        if (i % 3 == 2) {
            // Wine 8 takes wVk as given where Windows maps the scan code.
            SendKey(VK_SPACE, kScanSpace, KEYEVENTF_SCANCODE);
            SendKey(VK_SPACE, kScanSpace, KEYEVENTF_SCANCODE | KEYEVENTF_KEYUP);
            std::printf("s %x\n", kScanSpace);
        }
        Sleep(pauseMs);
    }
}

int Commands(WPARAM first, WPARAM second, unsigned rounds) {
    HWND window = FindWindowA("Qelvaro", "Qelvaro");
    const auto command = [window](WPARAM id) {
        DWORD_PTR result = 0;
        return SendMessageTimeoutA(window, WM_COMMAND, id, 0, SMTO_NORMAL, 20000, &result) != 0;
    };
    unsigned done = 0;
    while (window != nullptr && done < rounds && command(first) && command(second)) {
        ++done;
    }
    std::printf("%u\n", done);
    return done == rounds ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "inject" && argc == 4) {
        Inject(static_cast<unsigned>(std::atoi(argv[2])), static_cast<DWORD>(std::atoi(argv[3])));
        return 0;
    }
    if (command == "commands" && argc == 5) {
        return Commands(std::strtoul(argv[2], nullptr, 0), std::strtoul(argv[3], nullptr, 0),
                        static_cast<unsigned>(std::atoi(argv[4])));
    }
    if (command == "gdi") {
        DWORD process = 0;
        GetWindowThreadProcessId(FindWindowA("Qelvaro", "Qelvaro"), &process);
        std::printf("%ld\n", GdiObjects(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ,
                                                    FALSE, process)));
        return 0;
    }
    std::fprintf(stderr,
                 "usage: beside inject COUNT PAUSE_MS | commands FIRST SECOND ROUNDS | gdi\n");
    return 2;
}
