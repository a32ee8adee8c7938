#include "keyboard_rows.h"

namespace {

KeyCap Char(uint16_t scanCode, const char* legend) {
    return KeyCap{KeyKind::Character, 1.0, scanCode, legend};
}

KeyCap Wide(uint16_t scanCode, double units, const char* legend) {
    return KeyCap{KeyKind::Character, units, scanCode, legend};
}

KeyCap Named(KeyKind kind, double units, const char* text) {
    return KeyCap{kind, units, 0, text};
}

} // namespace

const std::vector<KeyRow>& KeyboardRows() {
    static const std::vector<KeyRow> rows = {
        {Char(41, "`"), Char(2, "1"), Char(3, "2"), Char(4, "3"), Char(5, "4"), Char(6, "5"),
         Char(7, "6"), Char(8, "7"), Char(9, "8"), Char(10, "9"), Char(11, "0"), Char(12, "-"),
         Char(13, "="), Named(KeyKind::White, 2.0, "backspace")},
        {Named(KeyKind::White, 1.5, "tab"), Char(16, "Q"), Char(17, "W"), Char(18, "E"),
         Char(19, "R"), Char(20, "T"), Char(21, "Y"), Char(22, "U"), Char(23, "I"), Char(24, "O"),
         Char(25, "P"), Char(26, "["), Char(27, "]"), Wide(43, 1.5, "\\")},
        {Named(KeyKind::DarkBlue, 1.75, "caps lock"), Char(30, "A"), Char(31, "S"), Char(32, "D"),
         Char(33, "F"), Char(34, "G"), Char(35, "H"), Char(36, "J"), Char(37, "K"), Char(38, "L"),
         Char(39, ";"), Char(40, "'"), Named(KeyKind::White, 2.25, "enter")},
        {Named(KeyKind::Orange, 2.25, "shift"), Char(44, "Z"), Char(45, "X"), Char(46, "C"),
         Char(47, "V"), Char(48, "B"), Char(49, "N"), Char(50, "M"), Char(51, ","), Char(52, "."),
         Char(53, "/"), Named(KeyKind::Blue, 2.75, "shift")},
        {Named(KeyKind::White, 1.5, "ctrl"), Named(KeyKind::Pink, 1.25, "alt - Mac"),
         Named(KeyKind::Pink, 1.5, "alt - Win"), Named(KeyKind::White, 6.5, "Macintosh / Windows"),
         Named(KeyKind::Blue, 1.5, "alt - Win"), Named(KeyKind::Blue, 1.25, "alt - Mac"),
         Named(KeyKind::White, 1.5, "ctrl")},
    };
    return rows;
}

std::vector<PlacedKey> PlaceKeys() {
    std::vector<PlacedKey> placed;
    double y = kKeysTop;
    for (const KeyRow& row : KeyboardRows()) {
        double x = kKeysLeft;
        for (const KeyCap& key : row) {
            placed.push_back(
                PlacedKey{key, x + kKeyGap / 2, y, key.units * kKeyUnit - kKeyGap, kKeyHeight});
            x += key.units * kKeyUnit;
        }
        y += kKeyRowPitch;
    }
    return placed;
}
