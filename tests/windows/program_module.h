// qelvaro.exe, loaded as data from beside the running test, to read its resources.
#pragma once

#include <windows.h>

#include <string>

struct ProgramModule {
    HMODULE module = nullptr;

    ProgramModule() {
        char path[MAX_PATH] = {};
        std::string name(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
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

    // Empty when absent. Without a language, the system's usual search picks one.
    std::string ResourceBytes(LPCSTR name, LPCSTR type, WORD language = 0) const {
        HRSRC resource = language == 0 ? FindResourceA(module, name, type)
                                       : FindResourceExA(module, type, name, language);
        const void* data = resource ? LockResource(LoadResource(module, resource)) : nullptr;
        return data ? std::string(static_cast<const char*>(data), SizeofResource(module, resource))
                    : std::string();
    }
};
