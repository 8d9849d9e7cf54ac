// Decoded members written to the user's temporary directory for the shell: the copies a data
// object hands to drop targets, and the file open-and-update gives to an application.
//
// Every data object and every watcher job writes into a new folder of its own below
// TempDirectory, so members keep their names and their relative tree ("A\r.txt" and "B\r.txt"
// side by side) and no name search over a shared folder is ever needed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "archive/ArchiveEntry.h"

class Archive;

// Makes a new, empty folder of its own in TempDirectory and gives its path with a trailing
// separator. False when there is no temporary directory or no new name could be made.
bool MakeTempFolder(char (&folder)[MAX_PATH]);

// Deletes a folder made by MakeTempFolder with everything in it (read-only files too). Links
// inside it are removed, never followed.
void RemoveTempFolder(const char* folder);

// Decodes the member at `index` of the catalogue the caller read under the lock it still holds,
// into the caller's memory of at least expected.originalSize bytes, when that member still is
// `expected` (same place, sizes and CRC). False when it is not, or it cannot be decoded.
bool DecodeListedMemberInto(Archive& archive, std::uint32_t index, const ArchiveEntry& expected,
                            void* memory);

// One member to copy: its place in a catalogue the caller listed earlier, the first
// EntryBlockSize bytes of its record as listed there, and the new file to write.
struct ListedCopy {
  std::uint32_t index = 0;
  const void* listed = nullptr;
  const char* target = nullptr;
  bool written = false;  // set by WriteListedCopies
};
// The shell decodes ahead on other threads only members of at least this many bytes: under Wine a
// hand-off between threads costs about a millisecond, more than decoding a smaller member (the
// transfer benchmark with the 2,000 mixed files of 30 KB ran 3x slower with two workers than with
// none).
constexpr std::uint32_t ShellHandOffBytes = 128u << 10;

// Writes each copy with WriteCopyFile, in the order given, while `threads` workers (0: one per
// core, and then only members of ShellHandOffBytes or more) decode the next members. The caller holds no lock on `archive`. A member no longer at its
// place as listed (the archive changed since), or that cannot be decoded, gets no file.
void WriteListedCopies(Archive& archive, std::vector<ListedCopy>& copies, unsigned threads);

// Writes `entry.originalSize` bytes at `data` to the new file `target` (never an existing one)
// with the entry's times and attributes. False, leaving no file, when it cannot be created or a
// write fails (a full disk never leaves a short copy behind).
bool WriteCopyFile(const char* target, const std::uint8_t* data, const ArchiveEntry& entry);

// For open-and-update: decodes the member at `memberPath` into a new folder of its own (see
// MakeTempFolder) under the member's name part. Fills `*entry` (the member's record as decoded)
// and `path`. False, leaving nothing, when the member cannot be decoded, its name part is no
// plain file name ("..", ":", a device), or the copy cannot be written.
bool WriteTempCopy(Archive& archive, const char* memberPath, ArchiveEntry* entry,
                   char (&path)[MAX_PATH]);
