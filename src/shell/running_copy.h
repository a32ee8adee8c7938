// One copy a desktop session. A second start hands over to the copy that runs and ends; so does
// "qelvaro.exe /exit", which ends that copy as its Exit command does (installers use it).
#pragma once

// Whether the command line asks the running copy to exit.
bool IsExitCommand(const char* commandLine);

// True for the session's first copy; the claim lasts as long as the process.
bool ClaimOnlyCopy();

// Asks the running copy to show its picture window in front. A copy this one cannot reach (one
// running as administrator) is left alone.
void ShowRunningCopy();

// Asks every running copy to exit and waits for each to end, a few seconds at most.
void ExitRunningCopies();
