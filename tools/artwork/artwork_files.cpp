#include "artwork_files.h"

#include "artwork.h"
#include "ico_encoder.h"
#include "png_encoder.h"

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
         {std::pair{"icon_on.ico", IconBadge::On}, std::pair{"icon_off.ico", IconBadge::Off}}) {
        files.push_back({name, EncodeIcon(DrawKeyIcon(fonts, table, 16, badge),
                                          DrawKeyIcon(fonts, table, 32, badge))});
    }
    CloseArtworkFonts(fonts);
    return files;
}
