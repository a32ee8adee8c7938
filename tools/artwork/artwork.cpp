#include "artwork.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>

#include <cmath>
#include <cstring>

#include "keyboard_rows.h"

struct ArtworkFonts {
    FcConfig* config;
    PangoFontMap* fontMap;
};

namespace {

constexpr double kPi = 3.14159265358979323846;

// The picture's proportions: a 15-unit keyboard filling the lower three quarters.
constexpr double kBodyLeft = 6;
constexpr double kBodyTop = 114;
constexpr double kBodyRight = 961;
constexpr double kBodyBottom = 465;

constexpr char kLatinFamily[] = "Noto Sans, Noto Sans Canadian Aboriginal";
constexpr uint16_t kIconSyllabicScanCode = 17; // the W position: U+1403, a plain triangle

struct Colour {
    double red;
    double green;
    double blue;
};

Colour Hex(uint32_t rgb) {
    return Colour{((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0};
}

const Colour kShiftColour = Hex(0xFFB347);
const Colour kShiftAltColour = Hex(0x84BDF2);
const Colour kPlainColour = Hex(0x8FD98B);
const Colour kAltColour = Hex(0xF6A9CF);
const Colour kGlyphColour = Hex(0x14202B);
const Colour kBodyColour = Hex(0x2C3E50);
const Colour kWhite = Hex(0xFFFFFF);
const Colour kWhiteKey = Hex(0xF2F4F5);
const Colour kDarkBlueKey = Hex(0x1F3A93);
const Colour kOrangeKey = Hex(0xF39C12);
const Colour kBlueKey = Hex(0x3498DB);
const Colour kPinkKey = Hex(0xE87BB0);

void SetColour(cairo_t* cr, Colour colour) {
    cairo_set_source_rgb(cr, colour.red, colour.green, colour.blue);
}

void RoundedRect(cairo_t* cr, double x, double y, double width, double height, double radius) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + width - radius, y + radius, radius, -kPi / 2, 0);
    cairo_arc(cr, x + width - radius, y + height - radius, radius, 0, kPi / 2);
    cairo_arc(cr, x + radius, y + height - radius, radius, kPi / 2, kPi);
    cairo_arc(cr, x + radius, y + radius, radius, kPi, 3 * kPi / 2);
    cairo_close_path(cr);
}

std::string Utf8(uint16_t unit) {
    std::string out;
    if (unit < 0x80) {
        out += static_cast<char>(unit);
    } else if (unit < 0x800) {
        out += static_cast<char>(0xC0 | (unit >> 6));
        out += static_cast<char>(0x80 | (unit & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (unit >> 12));
        out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (unit & 0x3F));
    }
    return out;
}

// Text centred on (centreX, centreY) by its logical box, so glyphs of one size share a baseline.
void DrawText(cairo_t* cr, ArtworkFonts* fonts, const std::string& text, double pixels, bool bold,
              Colour colour, double centreX, double centreY) {
    PangoContext* context = pango_font_map_create_context(fonts->fontMap);
    // Fixed rendering options: the output must not depend on the desktop's font settings.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    pango_cairo_context_set_font_options(context, options);
    cairo_font_options_destroy(options);
    pango_cairo_update_context(cr, context);

    PangoLayout* layout = pango_layout_new(context);
    PangoFontDescription* description = pango_font_description_from_string(kLatinFamily);
    pango_font_description_set_absolute_size(description, pixels * PANGO_SCALE);
    pango_font_description_set_weight(description, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_layout_set_font_description(layout, description);
    pango_font_description_free(description);
    pango_layout_set_text(layout, text.c_str(), -1);

    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    SetColour(cr, colour);
    cairo_move_to(cr, centreX - pango_units_to_double(logical.width) / 2,
                  centreY - pango_units_to_double(logical.height) / 2);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
    g_object_unref(context);
}

void DrawPlaneCharacter(cairo_t* cr, ArtworkFonts* fonts, uint16_t unit, double centreX,
                        double centreY) {
    if (unit == 0) {
        return;
    }
    // A blank would be invisible; the key types one all the same, so say so.
    if (unit == 0x0020) {
        DrawText(cr, fonts, "space", 9, false, kGlyphColour, centreX, centreY);
        return;
    }
    DrawText(cr, fonts, Utf8(unit), 18, false, kGlyphColour, centreX, centreY);
}

void FillQuadrants(cairo_t* cr, double x, double y, double width, double height) {
    const double halfWidth = width / 2;
    const double halfHeight = height / 2;
    SetColour(cr, kShiftColour);
    cairo_rectangle(cr, x, y, halfWidth, halfHeight);
    cairo_fill(cr);
    SetColour(cr, kShiftAltColour);
    cairo_rectangle(cr, x + halfWidth, y, halfWidth, halfHeight);
    cairo_fill(cr);
    SetColour(cr, kPlainColour);
    cairo_rectangle(cr, x, y + halfHeight, halfWidth, halfHeight);
    cairo_fill(cr);
    SetColour(cr, kAltColour);
    cairo_rectangle(cr, x + halfWidth, y + halfHeight, halfWidth, halfHeight);
    cairo_fill(cr);
}

void DrawCharacterKey(cairo_t* cr, ArtworkFonts* fonts, const LayoutEntry& entry, double x,
                      double y, double width) {
    cairo_save(cr);
    RoundedRect(cr, x, y, width, kKeyHeight, 5);
    cairo_clip(cr);
    FillQuadrants(cr, x, y, width, kKeyHeight);
    cairo_restore(cr);

    const double left = x + width / 4;
    const double right = x + width * 3 / 4;
    const double top = y + kKeyHeight / 4;
    const double bottom = y + kKeyHeight * 3 / 4;
    DrawPlaneCharacter(cr, fonts, entry.shift, left, top);
    DrawPlaneCharacter(cr, fonts, entry.shiftAlt, right, top);
    DrawPlaneCharacter(cr, fonts, entry.plain, left, bottom);
    DrawPlaneCharacter(cr, fonts, entry.alt, right, bottom);
}

Colour KeyFill(KeyKind kind) {
    switch (kind) {
    case KeyKind::DarkBlue: return kDarkBlueKey;
    case KeyKind::Orange: return kOrangeKey;
    case KeyKind::Blue: return kBlueKey;
    case KeyKind::Pink: return kPinkKey;
    case KeyKind::White:
    case KeyKind::Character: break;
    }
    return kWhiteKey;
}

// Light text on the dark keys, dark text on the light ones.
Colour KeyText(KeyKind kind) {
    if (kind == KeyKind::DarkBlue || kind == KeyKind::Blue) {
        return kWhite;
    }
    return kBodyColour;
}

void DrawNamedKey(cairo_t* cr, ArtworkFonts* fonts, const KeyCap& key, double x, double y,
                  double width, double height) {
    RoundedRect(cr, x, y, width, height, 5);
    SetColour(cr, KeyFill(key.kind));
    cairo_fill(cr);
    DrawText(cr, fonts, key.label, 12, true, KeyText(key.kind), x + width / 2, y + height / 2);
}

void DrawKeys(cairo_t* cr, ArtworkFonts* fonts, const LayoutEntry (&table)[kLayoutEntryCount]) {
    for (const PlacedKey& placed : PlaceKeys()) {
        if (placed.key.kind != KeyKind::Character) {
            DrawNamedKey(cr, fonts, placed.key, placed.x, placed.y, placed.width, placed.height);
            continue;
        }
        DrawCharacterKey(cr, fonts, table[placed.key.scanCode], placed.x, placed.y, placed.width);
        DrawText(cr, fonts, placed.key.label, 10, true, Hex(0xD6DEE5), placed.x + placed.width / 2,
                 placed.y + placed.height + 7);
    }
}

void DrawSky(cairo_t* cr) {
    cairo_pattern_t* sky = cairo_pattern_create_linear(0, 0, 0, kPictureHeight);
    cairo_pattern_add_color_stop_rgb(sky, 0, 0.49, 0.78, 0.94);
    cairo_pattern_add_color_stop_rgb(sky, 1, 0.80, 0.92, 0.98);
    cairo_set_source(cr, sky);
    cairo_paint(cr);
    cairo_pattern_destroy(sky);
}

void DrawCloud(cairo_t* cr, double x, double y, double scale) {
    cairo_set_source_rgb(cr, 1, 1, 1);
    const double puffs[][3] = {{0, 10, 16}, {20, 0, 22}, {44, 6, 18}, {62, 14, 12}, {30, 16, 16}};
    for (const auto& puff : puffs) {
        cairo_new_sub_path(cr);
        cairo_arc(cr, x + puff[0] * scale, y + puff[1] * scale, puff[2] * scale, 0, 2 * kPi);
    }
    cairo_fill(cr);
}

void DrawStar(cairo_t* cr, double centreX, double centreY, double outer) {
    const double inner = outer * 0.42;
    cairo_new_path(cr);
    for (int point = 0; point < 10; ++point) {
        const double radius = point % 2 == 0 ? outer : inner;
        const double angle = -kPi / 2 + point * kPi / 5;
        cairo_line_to(cr, centreX + radius * std::cos(angle), centreY + radius * std::sin(angle));
    }
    cairo_close_path(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_fill(cr);
}

// The enlarged key that says which quadrant belongs to which modifiers, and the band that ties
// it to the first character key it explains.
void DrawPlaneLegend(cairo_t* cr, ArtworkFonts* fonts) {
    const double x = 12;
    const double y = 8;
    const double width = 176;
    const double height = 94;
    const double oneKeyLeft = kKeysLeft + kKeyUnit + kKeyGap / 2;
    cairo_move_to(cr, x + 24, y + height);
    cairo_line_to(cr, x + width - 24, y + height);
    cairo_line_to(cr, oneKeyLeft + kKeyUnit - kKeyGap, kKeysTop);
    cairo_line_to(cr, oneKeyLeft, kKeysTop);
    cairo_close_path(cr);
    cairo_set_source_rgba(cr, 0.08, 0.12, 0.18, 0.35);
    cairo_fill(cr);

    cairo_save(cr);
    RoundedRect(cr, x, y, width, height, 8);
    cairo_clip(cr);
    FillQuadrants(cr, x, y, width, height);
    cairo_restore(cr);
    RoundedRect(cr, x, y, width, height, 8);
    SetColour(cr, kWhite);
    cairo_set_line_width(cr, 2);
    cairo_stroke(cr);
    DrawText(cr, fonts, "shift", 16, true, Hex(0xC0261B), x + width / 4, y + height / 4);
    DrawText(cr, fonts, "alt + shift", 14, true, Hex(0x0B3D91), x + width * 3 / 4, y + height / 4);
    DrawText(cr, fonts, "alt", 16, true, Hex(0xA0205F), x + width * 3 / 4, y + height * 3 / 4);
}

// Caps Lock is the switch between Latin and syllabic typing, so the picture says to keep it on.
void DrawCapsLockNote(cairo_t* cr, ArtworkFonts* fonts) {
    DrawStar(cr, 712, 58, 28);
    const double keyX = 752;
    const double keyY = 30;
    RoundedRect(cr, keyX, keyY, 104, 56, 6);
    SetColour(cr, kDarkBlueKey);
    cairo_fill_preserve(cr);
    SetColour(cr, kWhite);
    cairo_set_line_width(cr, 2);
    cairo_stroke(cr);
    DrawText(cr, fonts, "caps lock", 14, true, kWhite, keyX + 52, keyY + 28);
    DrawText(cr, fonts, "\xE1\x90\x83 \xE1\x90\x85 \xE1\x90\x8A", 22, true, kDarkBlueKey, 910, 44);
    DrawText(cr, fonts, "Always ON", 17, true, kBodyColour, 910, 74);
}

void DrawDecoration(cairo_t* cr, ArtworkFonts* fonts) {
    DrawCloud(cr, 232, 30, 1.0);
    DrawCloud(cr, 330, 78, 0.7);
    DrawCloud(cr, 592, 24, 0.9);
    DrawCloud(cr, 560, 84, 0.6);
    DrawText(cr, fonts, "Qelvaro", 30, true, kBodyColour, 445, 52);
}

void DrawKeyboardBody(cairo_t* cr) {
    RoundedRect(cr, kBodyLeft, kBodyTop, kBodyRight - kBodyLeft, kBodyBottom - kBodyTop, 14);
    SetColour(cr, kBodyColour);
    cairo_fill_preserve(cr);
    SetColour(cr, kWhite);
    cairo_set_line_width(cr, 3);
    cairo_stroke(cr);
}

RgbImage ToRgb(cairo_surface_t* surface) {
    cairo_surface_flush(surface);
    RgbImage image;
    image.width = cairo_image_surface_get_width(surface);
    image.height = cairo_image_surface_get_height(surface);
    image.rgb.resize(static_cast<size_t>(image.width) * image.height * 3);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            // CAIRO_FORMAT_RGB24 keeps each pixel as a native 32-bit 0x00RRGGBB.
            uint32_t pixel;
            std::memcpy(&pixel, data + static_cast<size_t>(y) * stride + x * 4, 4);
            uint8_t* out = &image.rgb[(static_cast<size_t>(y) * image.width + x) * 3];
            out[0] = static_cast<uint8_t>(pixel >> 16);
            out[1] = static_cast<uint8_t>(pixel >> 8);
            out[2] = static_cast<uint8_t>(pixel);
        }
    }
    return image;
}

void DrawCheckBadge(cairo_t* cr, double size) {
    const double centre = size * 0.3;
    cairo_arc(cr, centre, size - centre, size * 0.27, 0, 2 * kPi);
    cairo_set_source_rgb(cr, 0.13, 0.60, 0.25);
    cairo_fill(cr);
    cairo_move_to(cr, size * 0.17, size * 0.71);
    cairo_line_to(cr, size * 0.27, size * 0.81);
    cairo_line_to(cr, size * 0.44, size * 0.60);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, size * 0.085);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke(cr);
}

void DrawNoEntryBadge(cairo_t* cr, double size) {
    const double centre = size * 0.3;
    const double radius = size * 0.27;
    cairo_arc(cr, centre, size - centre, radius, 0, 2 * kPi);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_fill(cr);
    const double ring = size * 0.075;
    cairo_arc(cr, centre, size - centre, radius - ring / 2, 0, 2 * kPi);
    cairo_set_source_rgb(cr, 0.80, 0.10, 0.10);
    cairo_set_line_width(cr, ring);
    cairo_stroke(cr);
    const double reach = (radius - ring / 2) * std::sqrt(0.5);
    cairo_move_to(cr, centre - reach, size - centre - reach);
    cairo_line_to(cr, centre + reach, size - centre + reach);
    cairo_stroke(cr);
}

// The key cap's colours, and the glyph's size and centre as fractions of the icon's side.
struct KeyCapLook {
    Colour rim;
    Colour face;
    double glyphSize;
    double glyphX;
    double glyphY;
};

KeyCapLook KeyCapLookFor(IconBadge badge) {
    // Typing lights the whole cap amber, like a Caps Lock light: no green or red, so neither the
    // eye nor the tray's pixels take it for the other two. With no badge the glyph grows.
    if (badge == IconBadge::Typing) {
        return {Hex(0xD07A00), Hex(0xFFB020), 0.86, 0.5, 0.46};
    }
    return {Hex(0x7FB6E6), Hex(0xBFE2FF), 0.72, 0.56, 0.42}; // the glyph clear of the badge
}

} // namespace

ArtworkFonts* OpenArtworkFonts(const std::string& fontDirectory) {
    // Only these files, whatever else the machine has, so every machine draws the same pixels.
    FcConfig* config = FcConfigCreate();
    for (const char* file :
         {"NotoSans-Regular.ttf", "NotoSans-Bold.ttf", "NotoSansCanadianAboriginal-Regular.ttf",
          "NotoSansCanadianAboriginal-Bold.ttf"}) {
        const std::string path = fontDirectory + "/" + file;
        if (!FcConfigAppFontAddFile(config, reinterpret_cast<const FcChar8*>(path.c_str()))) {
            FcConfigDestroy(config);
            return nullptr;
        }
    }
    PangoFontMap* fontMap = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
    pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(fontMap), config);
    return new ArtworkFonts{config, fontMap};
}

void CloseArtworkFonts(ArtworkFonts* fonts) {
    if (fonts == nullptr) {
        return;
    }
    g_object_unref(fonts->fontMap);
    FcConfigDestroy(fonts->config);
    delete fonts;
}

RgbImage DrawKeyboardPicture(ArtworkFonts* fonts, const LayoutEntry (&table)[kLayoutEntryCount]) {
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, kPictureWidth, kPictureHeight);
    cairo_t* cr = cairo_create(surface);
    DrawSky(cr);
    DrawDecoration(cr, fonts);
    DrawKeyboardBody(cr);
    DrawPlaneLegend(cr, fonts);
    DrawCapsLockNote(cr, fonts);
    DrawKeys(cr, fonts, table);
    cairo_destroy(cr);
    RgbImage image = ToRgb(surface);
    cairo_surface_destroy(surface);
    return image;
}

RgbImage DrawKeyIcon(ArtworkFonts* fonts, const LayoutEntry (&table)[kLayoutEntryCount], int size,
                     IconBadge badge) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, size, size);
    cairo_t* cr = cairo_create(surface);
    const double s = size;
    SetColour(cr, kBodyColour);
    cairo_paint(cr);
    const KeyCapLook look = KeyCapLookFor(badge);
    RoundedRect(cr, s * 0.04, s * 0.04, s * 0.92, s * 0.92, s * 0.16);
    SetColour(cr, look.rim);
    cairo_fill(cr);
    RoundedRect(cr, s * 0.12, s * 0.08, s * 0.76, s * 0.74, s * 0.12);
    SetColour(cr, look.face);
    cairo_fill(cr);
    DrawText(cr, fonts, Utf8(table[kIconSyllabicScanCode].plain), s * look.glyphSize, true,
             Hex(0x0D2A4A), s * look.glyphX, s * look.glyphY);
    if (badge == IconBadge::On) {
        DrawCheckBadge(cr, s);
    } else if (badge == IconBadge::Off) {
        DrawNoEntryBadge(cr, s);
    }
    cairo_destroy(cr);
    RgbImage image = ToRgb(surface);
    cairo_surface_destroy(surface);
    return image;
}
