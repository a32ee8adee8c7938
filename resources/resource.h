// Resource identifiers shared by the resource script and the code.
#pragma once

#define IDD_HELP 100
#define IDC_HELP_ICON 200
#define IDI_APP 201
#define IDI_TRAY_ON 203
#define IDI_TRAY_OFF 204
#define IDI_TRAY_TYPING 205
#define IDR_KEYBOARD_IMAGE 300
