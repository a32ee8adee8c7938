// The keyboard layout: one UTF-16 unit per key position and Shift/Alt plane.
#pragma once

#include <cstdint>

// Four planes of one key, in storage order. A unit of 0 means "no mapping".
struct LayoutEntry {
    uint16_t plain;
    uint16_t alt;
    uint16_t shift;
    uint16_t shiftAlt;
};

// The fields in plane order, so that a plane picks its unit without a branch.
constexpr unsigned kLayoutPlaneCount = 4;
inline constexpr uint16_t LayoutEntry::*kLayoutPlanes[kLayoutPlaneCount] = {
    &LayoutEntry::plain, &LayoutEntry::alt, &LayoutEntry::shift, &LayoutEntry::shiftAlt};

// Indexed by the set-1 scan code the low-level hook reports.
constexpr unsigned kLayoutEntryCount = 128;

// Arguments come plain, Shift, Alt, Shift+Alt; each goes to the field of its name.
// A scan code of 128 or more stores nothing.
void SetLayoutEntry(LayoutEntry (&table)[kLayoutEntryCount], uint16_t scanCode, uint16_t plain,
                    uint16_t shift, uint16_t alt, uint16_t shiftAlt);

// Clears every entry, then fills the rows of the layout in ascending scan-code order.
void BuildLayout(LayoutEntry (&table)[kLayoutEntryCount]);
