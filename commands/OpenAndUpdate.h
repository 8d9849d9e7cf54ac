// Opening a member in its application and compressing it back when the user changed it there.
// The shell must not wait for the application, so the waiting happens in a watcher process: the
// library started again by the system's rundll32 host at KickAndUpdate, which reads its request
// from an inherited anonymous pipe, extracts the member into a folder of its own, starts the
// application on it and then watches the file itself, not the program (most editors hand the
// file to a running instance and exit at once). Every change seen (time, size or contents) is
// offered for the archive, until the user presses the button of the small editing window or the
// file has stayed closed and unchanged for a long time after the program ended.
//
// The user's edits are never lost: when the archive cannot take them (it is locked, the disk is
// full, the member changed meanwhile and the user declines) the edited file stays where it is and
// the user is told where.
#pragma once

#include <windows.h>

#include <cstddef>

#include "archive/ArchiveEntry.h"

class Archive;

// Starts the watcher for `memberPath` of `archive` with the verb's `commandTemplate`. 1 when the
// watcher process was started, 0 otherwise.
int LaunchForUpdate(const char* commandTemplate, const char* memberPath, Archive* archive);

// The watcher's entry point, as rundll32 calls it; `commandLine` holds the pipe handle as eight
// hexadecimal digits.
extern "C" void CALLBACK KickAndUpdate(HWND window, HINSTANCE instance, LPSTR commandLine,
                                       int show);

// What the watcher works on.
struct UpdateJob {
  PROCESS_INFORMATION process{};
  HWND owner = nullptr;
  Archive* archive = nullptr;     // referenced by the job
  const char* memberPath = nullptr;
  const char* commandTemplate = nullptr;
};

// Runs one job in the watcher: 1 when the application ran and its file was watched to the end.
int RunUpdateJob(UpdateJob& job);

// Decodes the member into a new folder of its own in the temporary directory, under its name
// part, with the member's times and attributes. 1 on success.
int ExtractToTemp(Archive& archive, const char* memberPath, ArchiveEntry* entry,
                  char (&path)[MAX_PATH]);

// Builds the command line of the verb's template as the shell does: the program part (quoted in
// the template: kept quoted; else up to the first space) goes to `application` without quotes,
// the line keeps the template's quoting, "%1" stands for `tempPath` (quoted when it has spaces
// and stands outside quotes), "%%" for "%" and "%x" for "x". The line is meant for CreateProcess
// without an application name. False (both outputs empty) when either does not fit its buffer
// or the program is the file itself ("%1").
bool BuildCommandLine(const char* commandTemplate, char* application, std::size_t applicationSize,
                      char* commandLine, std::size_t commandLineSize, const char* tempPath);

// Reads eight hexadecimal digits (either case); false for anything else.
bool ParseHandleDigits(const char* text, std::uint32_t* value);
