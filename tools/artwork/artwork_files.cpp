#include "artwork_files.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "artwork.h"
#include "png_encoder.h"

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

namespace {

// icotool (icoutils) writes the icon file: the 16x16 image with a palette, which always holds its
// colours (it has 256 pixels), and the 32x32 image in 24-bit colour. Opaque images get clear masks.
std::vector<uint8_t> EncodeIcon(const RgbImage& small, const RgbImage& large) {
    std::string directory =
        (std::filesystem::temp_directory_path() / "qelvaro-icon.XXXXXX").string();
    if (mkdtemp(directory.data()) == nullptr) {
        return {};
    }
    const std::string in = "'" + directory + "/"; // quoted for the shell
    std::vector<uint8_t> icon;
    if (WriteFile(directory + "/16.png", EncodePng(small)) &&
        WriteFile(directory + "/32.png", EncodePng(large)) &&
        std::system((QELVARO_ICOTOOL " --create --output=" + in + "icon.ico' --bit-depth=8 " + in +
                     "16.png' --bit-depth=24 " + in + "32.png'")
                        .c_str()) == 0) {
        icon = ReadFile(directory + "/icon.ico");
    }
    std::filesystem::remove_all(directory);
    return icon;
}

} // namespace

std::vector<ArtworkFile> GenerateArtwork(const std::string& fontDirectory) {
    ArtworkFonts* fonts = OpenArtworkFonts(fontDirectory);
    if (fonts == nullptr) {
        return {};
    }
    // The same table the program types from, so the picture cannot drift from the keys.
    LayoutEntry table[kLayoutEntryCount];
    BuildLayout(table);
    std::vector<ArtworkFile> files;
    files.push_back({"keyboard_layout.png", EncodePng(DrawKeyboardPicture(fonts, table))});
    for (const auto& [name, badge] :
         {std::pair{"icon_on.ico", IconBadge::On}, std::pair{"icon_off.ico", IconBadge::Off},
          std::pair{"icon_typing.ico", IconBadge::Typing}}) {
        files.push_back({name, EncodeIcon(DrawKeyIcon(fonts, table, 16, badge),
                                          DrawKeyIcon(fonts, table, 32, badge))});
        if (files.back().bytes.empty()) {
            files.clear();
            break;
        }
    }
    CloseArtworkFonts(fonts);
    return files;
}
