// qelvaro.exe, loaded as data from beside the running test, to read its resources.
#pragma once

#include <windows.h>

#include <string>

struct ProgramModule {
    HMODULE module = nullptr;

    ProgramModule() {
        char path[MAX_PATH] = {};
        const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
        std::string name(path, length);
        name = name.substr(0, name.find_last_of("\\/") + 1) + "qelvaro.exe";
        module = LoadLibraryExA(name.c_str(), nullptr,
                                LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    }
    ~ProgramModule() {
        if (module != nullptr) {
            FreeLibrary(module);
        }
    }
    ProgramModule(const ProgramModule&) = delete;
    ProgramModule& operator=(const ProgramModule&) = delete;

    std::string ResourceBytes(LPCSTR name, LPCSTR type) const {
        HRSRC resource = FindResourceA(module, name, type);
        if (resource == nullptr) {
            return {};
        }
        const DWORD size = SizeofResource(module, resource);
        const void* data = LockResource(LoadResource(module, resource));
        if (data == nullptr) {
            return {};
        }
        return std::string(static_cast<const char*>(data), size);
    }
};
