// What start-up and shutdown do beside the window: the layout picture under GDI+, and the order
// in which everything goes at exit.
#pragma once

// Starts GDI+ and loads the layout picture into app.keyboardImage.
void LoadKeyboardImage();

// After the message loop: removes the hook, releases the picture before GDI+ shuts down, and
// takes the tray icon away.
void ShutDown();
