// Opening a member in its application and compressing it back when the application changed it.
// The shell must not wait for the application, so the waiting happens in a watcher process: the
// library started again by the system's rundll32 host at KickAndUpdate, which reads its request
// from an inherited anonymous pipe, extracts the member to a temporary file, starts the
// application on it, waits for the application to end, and, when the file changed and the user
// agrees, stages it as the member's replacement and rewrites the archive.
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

// Runs one job in the watcher: 1 when the application ran and its file could be examined.
int RunUpdateJob(UpdateJob& job);

// Decodes the member into a new file in the temporary directory (its name part, or a numbered
// name) with the member's times and attributes. 1 on success.
int ExtractToTemp(Archive& archive, const char* memberPath, ArchiveEntry* entry,
                  char (&path)[MAX_PATH]);

// Splits the verb's template into the program to start and its command line, with "%1" standing
// for `tempPath`, "%%" for "%" and "%x" for "x". False (both outputs empty) when either does not
// fit its buffer.
bool BuildCommandLine(const char* commandTemplate, char* application, std::size_t applicationSize,
                      char* commandLine, std::size_t commandLineSize, const char* tempPath);

// Reads eight hexadecimal digits (either case); false for anything else.
bool ParseHandleDigits(const char* text, std::uint32_t* value);
