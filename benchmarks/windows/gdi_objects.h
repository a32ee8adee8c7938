// The GDI objects of a process. GetGuiResources is a stub under Wine: this counts the process's
// entries in the GDI handle table its PEB points to (GdiSharedHandleTable), 65536 entries of 24
// bytes with the type in byte 12; -1 where it cannot be read.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <vector>

inline long GdiObjects(HANDLE process) {
    PROCESS_BASIC_INFORMATION basic{};
    BYTE* table = nullptr;
    std::vector<BYTE> entries(0x10000 * 24);
    if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic,
                                  nullptr) != 0 ||
        !ReadProcessMemory(process,
                           reinterpret_cast<BYTE*>(basic.PebBaseAddress) +
                               (sizeof(void*) == 8 ? 0xF8 : 0x94),
                           &table, sizeof table, nullptr) ||
        !ReadProcessMemory(process, table, entries.data(), entries.size(), nullptr)) {
        return -1;
    }
    long count = 0;
    for (size_t entry = 0; entry < 0x10000; ++entry) {
        count += entries[entry * 24 + 12] != 0 ? 1 : 0;
    }
    return count;
}
