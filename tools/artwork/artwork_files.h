// The generated files under resources/, and their bytes as the generator makes them now.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ArtworkFile {
    std::string name;
    std::vector<uint8_t> bytes;
};

constexpr char kDefaultFontDirectory[] = "/usr/share/fonts/truetype/noto";

// Empty when the fonts cannot be opened or icotool fails.
std::vector<ArtworkFile> GenerateArtwork(const std::string& fontDirectory);

// Empty when the file cannot be read.
std::vector<uint8_t> ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
