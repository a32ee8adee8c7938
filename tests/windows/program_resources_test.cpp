// Reads the resources of the built qelvaro.exe back, as Windows will find them.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "program_module.h"

namespace {

BOOL CALLBACK CountName(HMODULE, LPCSTR, LPSTR, LONG_PTR count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

TEST(ProgramResources, ManifestIsTheBareVersionOneAssembly) {
    ProgramModule program;
    ASSERT_NE(program.module, nullptr) << "qelvaro.exe not found beside the tests";

    int manifests = 0;
    EnumResourceNamesA(program.module, MAKEINTRESOURCEA(24), CountName,
                       reinterpret_cast<LONG_PTR>(&manifests));
    EXPECT_EQ(manifests, 1) << "the toolchain must not add a manifest of its own";

    const std::string bytes = program.ResourceBytes(MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_GE(bytes.size(), 3u);
    EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF") << "UTF-8 with a byte-order mark";
    EXPECT_NE(bytes.find("<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" "
                         "manifestVersion=\"1.0\">"),
              std::string::npos);
    EXPECT_NE(bytes.find("</assembly>"), std::string::npos);
    // One element and nothing inside it: no common-controls dependency, no execution level,
    // no DPI awareness.
    size_t elements = 0;
    for (size_t at = bytes.find('<'); at != std::string::npos; at = bytes.find('<', at + 1)) {
        if (bytes.compare(at, 2, "<?") != 0 && bytes.compare(at, 2, "</") != 0) {
            ++elements;
        }
    }
    EXPECT_EQ(elements, 1u);
}

} // namespace
