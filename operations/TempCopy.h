// Decoded members written to the user's temporary directory for the shell: the copies a data
// object hands to drop targets, and the file open-and-update gives to an application.
#pragma once

#include <windows.h>

#include "archive/ArchiveEntry.h"

class Archive;

// How many numbered names ("%s%03d%s": 000 to 999 between the folder and the name) are tried
// after the bare name before a member is left without a copy.
constexpr int TempCopyNumberedNames = 1000;

// Decodes the member at `memberPath` and writes it to a new file in TempDirectory named after
// the member's name part, or the first free numbered name; the file gets the member's times and
// attributes. Fills `*entry` (the member's record as decoded) and `path`. False, leaving no file,
// when the member cannot be decoded, its name part is no plain file name ("..", ":", "/"), no
// name is free, or a write fails (a full disk never leaves a short copy behind).
bool WriteTempCopy(Archive& archive, const char* memberPath, ArchiveEntry* entry,
                   char (&path)[MAX_PATH]);
