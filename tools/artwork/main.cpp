// Writes the layout picture and the tray icons into a directory, or checks that the copies
// there are what the generator makes now.
//   qelvaro_artwork write|check <directory> [font directory]
#include <cstdio>
#include <string>

#include "artwork_files.h"

int main(int argc, char** argv) {
    if (argc < 3 || (std::string(argv[1]) != "write" && std::string(argv[1]) != "check")) {
        std::fprintf(stderr, "usage: %s write|check <directory> [font directory]\n", argv[0]);
        return 2;
    }
    const bool write = std::string(argv[1]) == "write";
    const std::string directory = argv[2];
    const std::vector<ArtworkFile> files =
        GenerateArtwork(argc > 3 ? argv[3] : kDefaultFontDirectory);
    if (files.empty()) {
        std::fprintf(stderr,
                     "cannot draw the artwork: are fonts-noto-core and icoutils installed?\n");
        return 2;
    }
    int stale = 0;
    for (const ArtworkFile& file : files) {
        const std::string path = directory + "/" + file.name;
        if (write) {
            if (!WriteFile(path, file.bytes)) {
                std::fprintf(stderr, "cannot write %s\n", path.c_str());
                return 1;
            }
            std::printf("%s: %zu bytes\n", path.c_str(), file.bytes.size());
        } else if (ReadFile(path) != file.bytes) {
            std::fprintf(stderr, "%s differs from the generator's output; run: %s write %s\n",
                         path.c_str(), argv[0], directory.c_str());
            ++stale;
        }
    }
    return stale == 0 ? 0 : 1;
}
