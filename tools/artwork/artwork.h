// Draws the layout picture and the key-cap icons from the program's layout table.
#pragma once

#include <string>

#include "rgb_image.h"
#include "translation/layout.h"

constexpr int kPictureWidth = 967;
constexpr int kPictureHeight = 471;

enum class IconBadge {
    On,     // green disc with a white check
    Off,    // red no-entry sign
    Typing, // none: the cap itself lit amber, for Caps Lock on
};

struct ArtworkFonts; // the fonts the drawings use, and nothing else from the system

// fontDirectory holds the regular and bold Noto Sans and Noto Sans Canadian Aboriginal. Null when
// one of them cannot be read.
ArtworkFonts* OpenArtworkFonts(const std::string& fontDirectory);
void CloseArtworkFonts(ArtworkFonts* fonts);

RgbImage DrawKeyboardPicture(ArtworkFonts* fonts, const LayoutEntry (&table)[kLayoutEntryCount]);
RgbImage DrawKeyIcon(ArtworkFonts* fonts, const LayoutEntry (&table)[kLayoutEntryCount], int size,
                     IconBadge badge);
