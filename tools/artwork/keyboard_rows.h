// The keys of a US keyboard as the layout picture draws them, row by row, left to right.
#pragma once

#include <cstdint>
#include <vector>

enum class KeyKind {
    Character, // four quadrants from the layout table, Latin legend underneath
    White,
    DarkBlue,
    Orange,
    Blue,
    Pink,
};

struct KeyCap {
    KeyKind kind;
    double units;      // width in standard key widths
    uint16_t scanCode; // character keys only
    const char* label; // Latin legend of a character key, or the text on any other key
};

using KeyRow = std::vector<KeyCap>;

// Five rows, each 15 units wide: numbers, top letters, middle letters, bottom letters, space.
const std::vector<KeyRow>& KeyboardRows();

// Where the picture puts a key cap, in pixels; the key's Latin legend goes underneath.
struct PlacedKey {
    KeyCap key;
    double x;
    double y;
    double width;
    double height;
};

constexpr double kKeysLeft = 18;
constexpr double kKeysTop = 121;
constexpr double kKeyUnit = 62;
constexpr double kKeyRowPitch = 69;
constexpr double kKeyHeight = 54;
constexpr double kKeyGap = 6;

std::vector<PlacedKey> PlaceKeys();
