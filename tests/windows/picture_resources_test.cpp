// The picture subsystem's resources read back from the built qelvaro.exe: the Help dialog
// template field by field, the layout picture's header chunks and the icons' images.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "program_module.h"
#include "resource.h"

namespace {

WORD const kUsEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

std::string ResourceInUsEnglish(const ProgramModule& program, LPCSTR type, LPCSTR name) {
    HRSRC resource = FindResourceExA(program.module, type, name, kUsEnglish);
    if (resource == nullptr) {
        return {};
    }
    const char* data =
        static_cast<const char*>(LockResource(LoadResource(program.module, resource)));
    return std::string(data, SizeofResource(program.module, resource));
}

// Reads a little-endian template from the front.
struct Reader {
    const std::string& bytes;
    size_t at = 0;
    bool overrun = false;

    uint32_t Unsigned(size_t width) {
        if (at + width > bytes.size()) {
            overrun = true;
            return 0;
        }
        uint32_t value = 0;
        for (size_t i = 0; i < width; ++i) {
            value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
        }
        at += width;
        return value;
    }
    uint16_t Word() {
        return static_cast<uint16_t>(Unsigned(2));
    }
    uint32_t Dword() {
        return Unsigned(4);
    }
    int16_t Short() {
        return static_cast<int16_t>(Word());
    }
    std::u16string String() {
        std::u16string text;
        while (!overrun) {
            const uint16_t unit = Word();
            if (unit == 0) {
                break;
            }
            text += static_cast<char16_t>(unit);
        }
        return text;
    }
    // A name or an ordinal: 0xFFFF then the number, else a string. Ordinals come back as
    // "#number".
    std::u16string NameOrOrdinal() {
        const size_t start = at;
        if (Word() == 0xFFFF) {
            const std::string number = "#" + std::to_string(Word());
            return std::u16string(number.begin(), number.end());
        }
        at = start;
        return String();
    }
    void AlignTo4() {
        at = (at + 3) & ~size_t{3};
    }
};

struct Control {
    uint32_t style;
    int16_t x, y, cx, cy;
    uint32_t id;
    std::u16string windowClass;
    std::u16string title;
};

TEST(PictureResources, HelpTemplateIsTheExtendedDialogOfTheTable) {
    ProgramModule program;
    ASSERT_NE(program.module, nullptr);
    const std::string bytes = ResourceInUsEnglish(program, RT_DIALOG, MAKEINTRESOURCEA(IDD_HELP));
    ASSERT_FALSE(bytes.empty()) << "no US English IDD_HELP";
    Reader in{bytes};
    EXPECT_EQ(in.Word(), 1) << "dlgVer";
    EXPECT_EQ(in.Word(), 0xFFFF) << "signature";
    EXPECT_EQ(in.Dword(), 0u) << "helpID";
    EXPECT_EQ(in.Dword(), 0u) << "exStyle";
    EXPECT_EQ(in.Dword(), 0x00C800C0u) << "style: caption, system menu, modal frame, font";
    ASSERT_EQ(in.Word(), 10) << "cDlgItems";
    EXPECT_EQ(in.Short(), 22);
    EXPECT_EQ(in.Short(), 17);
    EXPECT_EQ(in.Short(), 400);
    EXPECT_EQ(in.Short(), 175);
    EXPECT_EQ(in.NameOrOrdinal(), u"") << "menu";
    EXPECT_EQ(in.NameOrOrdinal(), u"") << "class";
    EXPECT_EQ(in.String(), u"Help");
    EXPECT_EQ(in.Word(), 8) << "pointsize";
    EXPECT_EQ(in.Word(), 0) << "weight";
    EXPECT_EQ(in.Unsigned(1), 0u) << "italic";
    EXPECT_EQ(in.Unsigned(1), 0u) << "charset";
    EXPECT_EQ(in.String(), u"System");

    const uint32_t kNoId = 0xFFFFFFFF;
    const Control expected[] = {
        {0x50000003, 14, 9, 20, 20, IDC_HELP_ICON, u"#130", u"#203"},
        {0x50020080, 49, 10, 119, 8, kNoId, u"#130", u"Qelvaro"},
        {0x50020000, 49, 20, 119, 8, kNoId, u"#130", u"Version "},
        {0x50020080, 77, 20, 119, 8, kNoId, u"#130", u"3.5"},
        {0x50020000, 49, 40, 300, 40, kNoId, u"#130", u"This program is the Qelvaro"},
        {0x50020000, 49, 50, 300, 40, kNoId, u"#130",
         u"It adds support for Ardelune Syllabics on Microsoft Windows\u00AE."},
        {0x50020000, 49, 60, 300, 40, kNoId, u"#130",
         u"This version is both language-independent and country-independent (previous "
         u"versions were only available for Canada English and Canada French)."},
        {0x50020000, 49, 90, 300, 40, kNoId, u"#130",
         u"This program is available in the system tray (usually located at the right-hand side "
         u"of Windows\u00AE taskbar). Clicking its icon pops up a menu that allows you to enable, "
         u"disable or quit the Qelvaro."},
        {0x50020000, 49, 120, 300, 8, kNoId, u"#130", u""}, // owner line: checked below
        {0x50030001, 180, 150, 30, 11, IDOK, u"#128", u"OK"},
    };
    for (size_t i = 0; i < 10; ++i) {
        SCOPED_TRACE("control " + std::to_string(i + 1));
        in.AlignTo4();
        EXPECT_EQ(in.Dword(), 0u) << "helpID";
        EXPECT_EQ(in.Dword(), 0u) << "exStyle";
        EXPECT_EQ(in.Dword(), expected[i].style);
        EXPECT_EQ(in.Short(), expected[i].x);
        EXPECT_EQ(in.Short(), expected[i].y);
        EXPECT_EQ(in.Short(), expected[i].cx);
        EXPECT_EQ(in.Short(), expected[i].cy);
        EXPECT_EQ(in.Dword(), expected[i].id);
        EXPECT_TRUE(in.NameOrOrdinal() == expected[i].windowClass);
        const std::u16string title = in.NameOrOrdinal();
        if (i == 8) {
            EXPECT_NE(title.find(u"Qelvaro"), std::u16string::npos);
            EXPECT_NE(title.find(u"Tarnwell"), std::u16string::npos);
        } else {
            EXPECT_TRUE(title == expected[i].title) << std::string(title.begin(), title.end());
        }
        EXPECT_EQ(in.Word(), 0) << "extra data";
    }
    EXPECT_FALSE(in.overrun);
    EXPECT_EQ(in.at, bytes.size()) << "nothing after the last control";
}

uint32_t BigEndian(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

TEST(PictureResources, LayoutPictureIsACompactRgbPngWithGammaAndChromaticities) {
    ProgramModule program;
    ASSERT_NE(program.module, nullptr);
    const std::string png =
        ResourceInUsEnglish(program, "PNG", MAKEINTRESOURCEA(IDR_KEYBOARD_IMAGE));
    ASSERT_GT(png.size(), 8u + 25u) << "no US English PNG 300";
    EXPECT_LT(png.size(), 412939u);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1A\n", 8));
    std::vector<std::string> chunks;
    for (size_t at = 8; at + 12 <= png.size(); at += 12 + BigEndian(png, at)) {
        const std::string type = png.substr(at + 4, 4);
        chunks.push_back(type);
        const std::string data = png.substr(at + 8, BigEndian(png, at));
        if (type == "IHDR") {
            ASSERT_EQ(data.size(), 13u);
            EXPECT_EQ(BigEndian(data, 0), 967u);
            EXPECT_EQ(BigEndian(data, 4), 471u);
            EXPECT_EQ(data[8], 8) << "bit depth";
            EXPECT_EQ(data[9], 2) << "colour type: RGB";
            EXPECT_EQ(data[10], 0);
            EXPECT_EQ(data[11], 0);
            EXPECT_EQ(data[12], 0) << "not interlaced";
        } else if (type == "gAMA") {
            ASSERT_EQ(data.size(), 4u);
            EXPECT_EQ(BigEndian(data, 0), 45454u);
        } else if (type == "cHRM") {
            EXPECT_EQ(data.size(), 32u);
        }
    }
    ASSERT_FALSE(chunks.empty());
    EXPECT_EQ(chunks.front(), "IHDR");
    EXPECT_EQ(chunks.back(), "IEND");
    auto position = [&](const std::string& type) {
        for (size_t i = 0; i < chunks.size(); ++i) {
            if (chunks[i] == type) {
                return static_cast<int>(i);
            }
        }
        return -1;
    };
    ASSERT_GE(position("gAMA"), 0);
    ASSERT_GE(position("cHRM"), 0);
    EXPECT_LT(position("gAMA"), position("IDAT"));
    EXPECT_LT(position("cHRM"), position("IDAT"));
    EXPECT_EQ(position("tRNS"), -1) << "no transparency";
}

#pragma pack(push, 2)
struct GroupEntry {
    BYTE width;
    BYTE height;
    BYTE colourCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

struct IconImages {
    std::vector<GroupEntry> entries;
    std::vector<std::string> images;
};

IconImages ReadIcon(const ProgramModule& program, UINT id) {
    IconImages icon;
    const std::string group = ResourceInUsEnglish(program, RT_GROUP_ICON, MAKEINTRESOURCEA(id));
    if (group.size() < 6) {
        return icon;
    }
    const WORD count = *reinterpret_cast<const WORD*>(&group[4]);
    for (WORD i = 0; i < count && 6 + (i + 1) * sizeof(GroupEntry) <= group.size(); ++i) {
        GroupEntry entry;
        std::memcpy(&entry, &group[6 + i * sizeof(GroupEntry)], sizeof entry);
        icon.entries.push_back(entry);
        icon.images.push_back(ResourceInUsEnglish(program, RT_ICON, MAKEINTRESOURCEA(entry.id)));
    }
    return icon;
}

TEST(PictureResources, IconsHoldAPalettedSixteenAndATrueColourThirtyTwoBothOpaque) {
    ProgramModule program;
    ASSERT_NE(program.module, nullptr);
    for (UINT id : {IDI_APP, IDI_TRAY_ON, IDI_TRAY_OFF}) {
        SCOPED_TRACE("icon " + std::to_string(id));
        const IconImages icon = ReadIcon(program, id);
        ASSERT_EQ(icon.entries.size(), 2u);
        struct Expected {
            BYTE size;
            WORD bits;
            DWORD paletteColours;
        };
        const Expected expected[] = {{16, 8, 256}, {32, 24, 0}};
        for (size_t i = 0; i < 2; ++i) {
            SCOPED_TRACE(i);
            const GroupEntry& entry = icon.entries[i];
            EXPECT_EQ(entry.width, expected[i].size);
            EXPECT_EQ(entry.height, expected[i].size);
            EXPECT_EQ(entry.colourCount, 0) << "256 colours or more";
            EXPECT_EQ(entry.planes, 1);
            EXPECT_EQ(entry.bitCount, expected[i].bits);
            const std::string& image = icon.images[i];
            ASSERT_EQ(image.size(), entry.bytes);
            ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
            BITMAPINFOHEADER header;
            std::memcpy(&header, image.data(), sizeof header);
            EXPECT_EQ(header.biWidth, expected[i].size);
            EXPECT_EQ(header.biHeight, expected[i].size * 2) << "colour rows and mask rows";
            EXPECT_EQ(header.biBitCount, expected[i].bits);
            EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
            EXPECT_EQ(header.biClrUsed, expected[i].paletteColours);
            const size_t colourRow = (expected[i].size * expected[i].bits + 31) / 32 * 4;
            const size_t maskRow = 4;
            ASSERT_EQ(image.size(), sizeof header + expected[i].paletteColours * 4 +
                                        (colourRow + maskRow) * expected[i].size);
            const std::string mask = image.substr(image.size() - maskRow * expected[i].size);
            EXPECT_EQ(mask, std::string(mask.size(), '\0')) << "opaque";
        }
    }
    // The window's icon is the "on" picture; "off" is another picture.
    EXPECT_EQ(ReadIcon(program, IDI_APP).images, ReadIcon(program, IDI_TRAY_ON).images);
    EXPECT_NE(ReadIcon(program, IDI_TRAY_OFF).images, ReadIcon(program, IDI_TRAY_ON).images);
}

} // namespace
