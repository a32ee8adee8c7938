// The version information of qelvaro.exe, read back with the calls Explorer's Properties page
// uses, and the resource tree that the linker merged from the two resource scripts.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "program_module.h"

namespace {

std::string ProgramPath() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name(path, length);
    return name.substr(0, name.find_last_of("\\/") + 1) + "qelvaro.exe";
}

std::wstring Widen(const char* text) {
    return std::wstring(text, text + strlen(text));
}

struct VersionBlock {
    std::vector<char> bytes;

    VersionBlock() {
        const std::string path = ProgramPath();
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
        if (size == 0) {
            return;
        }
        bytes.resize(size);
        if (!GetFileVersionInfoA(path.c_str(), 0, size, bytes.data())) {
            bytes.clear();
        }
    }

    const void* Query(const wchar_t* subBlock, UINT* length) const {
        void* value = nullptr;
        if (bytes.empty() || !VerQueryValueW(bytes.data(), subBlock, &value, length)) {
            return nullptr;
        }
        return value;
    }

    // The strings are looked up as Explorer does: through the first translation listed.
    std::wstring String(const wchar_t* name) const {
        UINT length = 0;
        const auto* translation =
            static_cast<const WORD*>(Query(L"\\VarFileInfo\\Translation", &length));
        if (translation == nullptr || length < 4) {
            return L"<no translation>";
        }
        wchar_t path[128] = {};
        swprintf(path, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation[0], translation[1],
                 name);
        const auto* text = static_cast<const wchar_t*>(Query(path, &length));
        if (text == nullptr) {
            return L"<missing>";
        }
        return std::wstring(text);
    }

    const VS_FIXEDFILEINFO* Fixed() const {
        UINT length = 0;
        const void* value = Query(L"\\", &length);
        return length >= sizeof(VS_FIXEDFILEINFO) ? static_cast<const VS_FIXEDFILEINFO*>(value)
                                                  : nullptr;
    }
};

TEST(VersionResource, NamesProductCompanyAndCopyright) {
    VersionBlock version;
    ASSERT_FALSE(version.bytes.empty()) << "no version information in " << ProgramPath();

    EXPECT_EQ(version.String(L"ProductName"), L"Qelvaro");
    EXPECT_EQ(version.String(L"CompanyName"), L"Tarnwell");
    EXPECT_EQ(version.String(L"OriginalFilename"), L"qelvaro.exe");
    const std::wstring description = version.String(L"FileDescription");
    EXPECT_EQ(description.rfind(L"Qelvaro ", 0), 0u) << "Task Manager shows this as the name";
    const std::wstring copyright = version.String(L"LegalCopyright");
    EXPECT_EQ(copyright.rfind(L"Copyright \u00A9 ", 0), 0u) << "the sign must survive as U+00A9";
    EXPECT_NE(copyright.find(L"Tarnwell"), std::wstring::npos);
}

TEST(VersionResource, CarriesTheProjectVersionInTextAndNumbers) {
    VersionBlock version;
    ASSERT_FALSE(version.bytes.empty());

    EXPECT_EQ(version.String(L"ProductVersion"), Widen(QELVARO_VERSION));
    EXPECT_EQ(version.String(L"FileVersion"), Widen(QELVARO_VERSION));

    const VS_FIXEDFILEINFO* fixed = version.Fixed();
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    const DWORD major = QELVARO_VERSION_MAJOR;
    const DWORD minor = QELVARO_VERSION_MINOR;
    EXPECT_EQ(fixed->dwFileVersionMS, (major << 16) | minor);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, (major << 16) | minor);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u) << "no debug or pre-release flag";
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
}

TEST(VersionResource, StringsAreUsEnglishUnicode) {
    VersionBlock version;
    UINT length = 0;
    const auto* translation =
        static_cast<const WORD*>(version.Query(L"\\VarFileInfo\\Translation", &length));
    ASSERT_NE(translation, nullptr);
    ASSERT_EQ(length, 4u) << "one translation";
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 1200);
}

BOOL CALLBACK CollectType(HMODULE, LPSTR type, LONG_PTR types) {
    auto* list = reinterpret_cast<std::vector<std::string>*>(types);
    list->push_back(IS_INTRESOURCE(type) ? "#" + std::to_string(reinterpret_cast<ULONG_PTR>(type))
                                         : std::string(type));
    return TRUE;
}

BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR names) {
    auto* list = reinterpret_cast<std::vector<std::string>*>(names);
    list->push_back(IS_INTRESOURCE(name) ? "#" + std::to_string(reinterpret_cast<ULONG_PTR>(name))
                                         : std::string(name));
    return TRUE;
}

LPCSTR ResourceId(const std::string& id) {
    return id[0] == '#' ? MAKEINTRESOURCEA(std::stoul(id.substr(1))) : id.c_str();
}

// GNU ld joins the .rsrc sections of the two scripts into one directory tree; a bad join shows
// as a type listed twice, or entries that lead to no data.
TEST(VersionResource, BothResourceScriptsMergeIntoOneTree) {
    ProgramModule program;
    ASSERT_NE(program.module, nullptr);

    std::vector<std::string> types;
    EnumResourceTypesA(program.module, CollectType, reinterpret_cast<LONG_PTR>(&types));
    const std::set<std::string> distinct(types.begin(), types.end());
    EXPECT_EQ(distinct.size(), types.size()) << "a resource type is listed twice";
    EXPECT_EQ(distinct.count("#16"), 1u) << "version information (version.rc)";
    EXPECT_EQ(distinct.count("#24"), 1u) << "manifest (qelvaro.rc)";

    for (const std::string& type : types) {
        std::vector<std::string> names;
        EnumResourceNamesA(program.module, ResourceId(type), CollectName,
                           reinterpret_cast<LONG_PTR>(&names));
        EXPECT_FALSE(names.empty()) << "type " << type;
        for (const std::string& name : names) {
            EXPECT_FALSE(program.ResourceBytes(ResourceId(name), ResourceId(type)).empty())
                << "type " << type << ", name " << name;
        }
    }

    std::vector<std::string> versions;
    EnumResourceNamesA(program.module, MAKEINTRESOURCEA(16), CollectName,
                       reinterpret_cast<LONG_PTR>(&versions));
    EXPECT_EQ(versions, std::vector<std::string>{"#1"});
}

} // namespace
