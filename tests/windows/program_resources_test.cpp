// The resources of the built qelvaro.exe read back as Windows finds them: the manifest, the Help
// dialog template field by field, the layout picture's header chunks and the icons' images.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "program_module.h"
#include "resource.h"

namespace {

WORD const kUsEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// Reads little-endian fields from a position on; reading past the end throws, which fails the
// test.
struct Reader {
    const std::string& bytes;
    size_t at = 0;

    uint32_t Unsigned(size_t width) {
        uint32_t value = 0;
        for (size_t i = 0; i < width; ++i) {
            value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes.at(at++))) << (8 * i);
        }
        return value;
    }
    uint16_t Word() {
        return static_cast<uint16_t>(Unsigned(2));
    }
    uint32_t Dword() {
        return Unsigned(4);
    }
    std::wstring String() {
        std::wstring text;
        for (wchar_t unit = Word(); unit != 0; unit = Word()) {
            text += unit;
        }
        return text;
    }
    // 0xFFFF then a number, which comes back as "#number"; else a string.
    std::wstring NameOrOrdinal() {
        if (Word() == 0xFFFF) {
            return L"#" + std::to_wstring(Word());
        }
        at -= 2;
        return String();
    }
};

BOOL CALLBACK CountName(HMODULE, LPCSTR, LPSTR, LONG_PTR count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

TEST(ProgramResources, ManifestIsTheOnlyOneAndABareVersionOneAssembly) {
    ProgramModule program;
    ASSERT_NE(program.module, nullptr) << "qelvaro.exe not found beside the tests";
    int manifests = 0;
    EnumResourceNamesA(program.module, RT_MANIFEST, CountName,
                       reinterpret_cast<LONG_PTR>(&manifests));
    EXPECT_EQ(manifests, 1) << "the toolchain must not add a manifest of its own";
    const std::string bytes = program.ResourceBytes(MAKEINTRESOURCEA(1), RT_MANIFEST);
    EXPECT_EQ(bytes.rfind("\xEF\xBB\xBF", 0), 0u) << "UTF-8 with a byte-order mark";
    EXPECT_NE(bytes.find("<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" "
                         "manifestVersion=\"1.0\">"),
              std::string::npos);
    // Nothing inside the assembly: no common-controls dependency, no execution level, no DPI
    // awareness.
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '<'), 3) << "<?xml, <assembly>, </assembly>";
}

TEST(ProgramResources, HelpTemplateIsTheExtendedDialogOfTheTable) {
    ProgramModule program;
    const std::string bytes =
        program.ResourceBytes(MAKEINTRESOURCEA(IDD_HELP), RT_DIALOG, kUsEnglish);
    ASSERT_FALSE(bytes.empty()) << "no US English IDD_HELP";
    Reader in{bytes};
    // dlgVer, signature, helpID, exStyle, style (caption, system menu, modal frame, font), the
    // number of controls, x, y, cx, cy.
    EXPECT_EQ((std::vector<uint32_t>{in.Word(), in.Word(), in.Dword(), in.Dword(), in.Dword(),
                                     in.Word(), in.Word(), in.Word(), in.Word(), in.Word()}),
              (std::vector<uint32_t>{1, 0xFFFF, 0, 0, 0x00C800C0, 10, 22, 17, 400, 175}));
    EXPECT_EQ(in.NameOrOrdinal(), L"") << "menu";
    EXPECT_EQ(in.NameOrOrdinal(), L"") << "class";
    EXPECT_EQ(in.String(), L"Help");
    EXPECT_EQ((std::vector<uint32_t>{in.Word(), in.Word(), in.Unsigned(1), in.Unsigned(1)}),
              (std::vector<uint32_t>{8, 0, 0, 0}))
        << "8 points, weight 0, not italic, default charset";
    EXPECT_EQ(in.String(), L"System");

    const uint32_t kNoId = 0xFFFFFFFF;
    // helpID, exStyle, style, x, y, cx, cy, id, the class as an ordinal (130 static, 128 button),
    // then the text; the owner line's (null here) need only name the program and its maker.
    const struct {
        std::vector<uint32_t> fields;
        const wchar_t* text;
    } expected[] = {
        {{0, 0, 0x50000003, 14, 9, 20, 20, IDC_HELP_ICON, 0xFFFF, 130}, L"#203"},
        {{0, 0, 0x50020080, 49, 10, 119, 8, kNoId, 0xFFFF, 130}, L"Qelvaro"},
        {{0, 0, 0x50020000, 49, 20, 119, 8, kNoId, 0xFFFF, 130}, L"Version "},
        {{0, 0, 0x50020080, 77, 20, 119, 8, kNoId, 0xFFFF, 130}, L"3.5"},
        {{0, 0, 0x50020000, 49, 40, 300, 40, kNoId, 0xFFFF, 130}, L"This program is the Qelvaro"},
        {{0, 0, 0x50020000, 49, 50, 300, 40, kNoId, 0xFFFF, 130},
         L"It adds support for Ardelune Syllabics on Microsoft Windows\u00AE."},
        {{0, 0, 0x50020000, 49, 60, 300, 40, kNoId, 0xFFFF, 130},
         L"This version is both language-independent and country-independent (previous "
         L"versions were only available for Canada English and Canada French)."},
        {{0, 0, 0x50020000, 49, 90, 300, 40, kNoId, 0xFFFF, 130},
         L"This program is available in the system tray (usually located at the right-hand side "
         L"of Windows\u00AE taskbar). Clicking its icon pops up a menu that allows you to enable, "
         L"disable or quit the Qelvaro."},
        {{0, 0, 0x50020000, 49, 120, 300, 8, kNoId, 0xFFFF, 130}, nullptr},
        {{0, 0, 0x50030001, 180, 150, 30, 11, IDOK, 0xFFFF, 128}, L"OK"},
    };
    for (const auto& control : expected) {
        SCOPED_TRACE("control at y " + std::to_string(control.fields[4]));
        in.at = (in.at + 3) & ~size_t{3};
        EXPECT_EQ((std::vector<uint32_t>{in.Dword(), in.Dword(), in.Dword(), in.Word(), in.Word(),
                                         in.Word(), in.Word(), in.Dword(), in.Word(), in.Word()}),
                  control.fields);
        const std::wstring text = in.NameOrOrdinal();
        if (control.text != nullptr) {
            EXPECT_EQ(text, control.text);
        } else {
            EXPECT_TRUE(text.find(L"Qelvaro") != text.npos && text.find(L"Tarnwell") != text.npos)
                << text;
        }
        EXPECT_EQ(in.Word(), 0) << "extra data";
    }
    EXPECT_EQ(in.at, bytes.size()) << "nothing after the last control";
}

TEST(ProgramResources, LayoutPictureIsACompactRgbPngWithGammaAndChromaticities) {
    ProgramModule program;
    const std::string png =
        program.ResourceBytes(MAKEINTRESOURCEA(IDR_KEYBOARD_IMAGE), "PNG", kUsEnglish);
    ASSERT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1A\n", 8)) << "no US English PNG 300";
    EXPECT_LT(png.size(), 412939u);
    std::map<std::string, std::string> chunks;
    auto length = [&png](size_t at) { return _byteswap_ulong(Reader{png, at}.Dword()); };
    for (size_t at = 8; at + 12 <= png.size(); at += 12 + length(at)) {
        chunks[png.substr(at + 4, 4)] = png.substr(at + 8, length(at));
    }
    EXPECT_EQ(chunks["IHDR"], std::string("\0\0\x03\xC7\0\0\x01\xD7\x08\x02\0\0\0", 13))
        << "967x471, 8-bit RGB, not interlaced";
    EXPECT_EQ(chunks["gAMA"], std::string("\0\0\xB1\x8E", 4)) << "gamma 45454";
    EXPECT_EQ(chunks["cHRM"].size(), 32u);
}

TEST(ProgramResources, IconsHoldA256ColourSixteenAndATrueColourThirtyTwo) {
    ProgramModule program;
    std::map<UINT, std::string> pictures;
    for (UINT id : {IDI_APP, IDI_TRAY_ON, IDI_TRAY_OFF}) {
        SCOPED_TRACE("icon " + std::to_string(id));
        const std::string group =
            program.ResourceBytes(MAKEINTRESOURCEA(id), RT_GROUP_ICON, kUsEnglish);
        ASSERT_EQ(group.size(), 6u + 2 * 14) << "two images";
        const struct { uint32_t size, bits; } expected[] = {{16, 8}, {32, 24}};
        for (size_t i = 0; i < 2; ++i) {
            Reader entry{group, 6 + 14 * i};
            // width, height, colours (0: 256 or more), reserved, planes, bits
            EXPECT_EQ(
                (std::vector<uint32_t>{entry.Unsigned(1), entry.Unsigned(1), entry.Unsigned(1),
                                       entry.Unsigned(1), entry.Word(), entry.Word()}),
                (std::vector<uint32_t>{expected[i].size, expected[i].size, 0, 0, 1,
                                       expected[i].bits}));
            const uint32_t bytes = entry.Dword();
            const std::string image =
                program.ResourceBytes(MAKEINTRESOURCEA(entry.Word()), RT_ICON, kUsEnglish);
            EXPECT_EQ(image.size(), bytes);
            pictures[id] += image;
        }
    }
    EXPECT_TRUE(pictures[IDI_APP] == pictures[IDI_TRAY_ON]) << "the window shows the on icon";
    EXPECT_TRUE(pictures[IDI_TRAY_OFF] != pictures[IDI_TRAY_ON]) << "off looks different";
}

} // namespace
