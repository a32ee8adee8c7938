// The decision taken for each key press: pass it on, or swallow it and type something else.
#pragma once

#include <cstdint>

#include "layout.h"

constexpr uint32_t kVirtualKeyCapital = 20;  // VK_CAPITAL
constexpr uint32_t kVirtualKeyPacket = 0xE7; // VK_PACKET: a character injected by another program
constexpr uint32_t kKeyFlagExtended = 0x01;  // LLKHF_EXTENDED of the hook's event flags

// Each field is 0 or 1.
struct ModifierSnapshot {
    int32_t capsLock;
    int32_t shift;
    int32_t alt;
    int32_t ctrl;
    int32_t windowsKey; // either Windows key
};

enum class KeyActionKind { Pass, PassShowHint, PassClearHint, InjectChar, EchoKey };

struct KeyAction {
    KeyActionKind kind;
    uint16_t character; // InjectChar
    uint8_t virtualKey; // EchoKey
    bool ctrlWrap;      // InjectChar and EchoKey: surround the output with Left-Ctrl
};

// flags are the hook event's; only the extended-key bit counts.
KeyAction DecideKeyAction(uint32_t vkCode, uint32_t scanCode, uint32_t flags,
                          const ModifierSnapshot& modifiers, int32_t echoMode,
                          const LayoutEntry (&table)[kLayoutEntryCount]);
