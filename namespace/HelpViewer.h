// The library's help: TANUFOLD.HLP for WinHelp where the system has WinHelp, and otherwise
// TANUFOLD.HTM, the same topics as one HTML page, installed beside it and opened by the shell.
#pragma once

#include <windows.h>

#include <string>

// The help file to open for a library whose folder is `folder` (ending with a backslash): the
// .HLP when `winHelpPresent`, else the .HTM page.
std::string ChooseHelpFile(const std::string& folder, bool winHelpPresent);

// True when the system's own WinHelp can show the .HLP: a system before Windows Vista (later ones
// no longer include WinHelp) with WINHLP32.EXE in its Windows folder.
bool WinHelpPresent();

// Shows the topic `contextId` ("IDH_OPTIONS"): through WinHelp where it is present and its call
// succeeds, otherwise by opening the HTML page. False when neither could be shown.
bool ShowHelpTopic(HWND owner, const char* contextId);
