// The three per-user switches in the registry, and the notice about hidden tray icons.
#pragma once

void LoadSettings();
void SaveSettings();
