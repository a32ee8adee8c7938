#include "key_decision.h"

namespace {

KeyAction Passing(KeyActionKind kind) {
    return KeyAction{kind, 0, 0, false};
}

} // namespace

KeyAction DecideKeyAction(uint32_t vkCode, uint32_t scanCode, uint32_t flags,
                          const ModifierSnapshot& modifiers, int32_t echoMode,
                          const LayoutEntry (&table)[kLayoutEntryCount]) {
    // Windows-key shortcuts (Win+V, Win+Shift+S, Win+.) and other programs' hotkeys belong to
    // Windows; a swallowed key would also leave the Start menu to open on the Windows key's
    // release. A packet's scan-code field carries a character another program is typing
    // (on-screen keyboards, dictation, password managers); it is never a key position.
    if (modifiers.windowsKey || vkCode == kVirtualKeyPacket) {
        return Passing(KeyActionKind::Pass);
    }
    if (!modifiers.capsLock) {
        if (echoMode != 1) {
            return Passing(KeyActionKind::Pass);
        }
        return Passing(vkCode == kVirtualKeyCapital ? KeyActionKind::PassClearHint
                                                    : KeyActionKind::PassShowHint);
    }
    // Ctrl without Alt is a shortcut; Ctrl+Alt is how some keyboards spell AltGr.
    if (!modifiers.alt && modifiers.ctrl) {
        return Passing(KeyActionKind::Pass);
    }
    // Extended keys share scan codes with the main block (the keypad's "/" with "/"): none is a
    // key of the layout. The flag moves the key past the table, so one comparison turns both away.
    if ((scanCode | (flags & kKeyFlagExtended) << 7) >= kLayoutEntryCount) {
        return Passing(KeyActionKind::Pass);
    }
    const unsigned plane = (modifiers.shift ? 2u : 0u) + (modifiers.alt ? 1u : 0u);
    // Read in place, without a call: this runs for every key press on the desktop.
    const uint16_t character = table[scanCode].*kLayoutPlanes[plane];
    if (character == 0) {
        return Passing(KeyActionKind::Pass);
    }
    // Alt alone would turn the injected character into a menu accelerator in most windows;
    // adding Left-Ctrl makes it Ctrl+Alt, which applications leave to the character.
    const bool ctrlWrap = modifiers.alt && !modifiers.ctrl;
    if (echoMode == 1) {
        return KeyAction{KeyActionKind::EchoKey, 0, static_cast<uint8_t>(vkCode & 0xFF), ctrlWrap};
    }
    return KeyAction{KeyActionKind::InjectChar, character, 0, ctrlWrap};
}
