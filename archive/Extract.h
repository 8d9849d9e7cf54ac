// Writing archive members to ordinary files and folders.
#pragma once

#include <cstdint>

#include "archive/ArchiveEntry.h"
#include "archive/OverwriteQuestion.h"
#include "archive/TargetPath.h"

class Archive;

// What became of one member.
enum class ExtractResult : int {
  Written = 0,   // file written (or folder made)
  Kept,          // the target exists and was left as it was
  Refused,       // the member's path would leave the target folder; nothing written
  DecodeFailed,  // unknown method, damaged data or CRC mismatch; no file left behind
  WriteFailed,   // the target could not be created or written; no partial file left behind
  Stopped,       // the extraction was cancelled before this member
};

struct ExtractOptions {
  // Asked when a target exists. None: existing files are kept (extract-all behaviour).
  OverwriteCallback ask = nullptr;
  void* askContext = nullptr;
  // Initial state; ReplaceAll replaces existing targets without asking.
  OverwriteState state = OverwriteState::Ask;
  // Component conversion for the names written on disk (see MakeTargetPath).
  NameConverter convert = nullptr;
  void* convertContext = nullptr;
  // Called after every member with its result and, when one was formed, the target path; the
  // shell library announces new files from here, the command-line tool reports and draws.
  void (*report)(void* context, const ArchiveEntry& entry, ExtractResult result,
                 const char* target) = nullptr;
  void* reportContext = nullptr;
};

struct ExtractCounts {
  std::uint32_t written = 0;
  std::uint32_t kept = 0;
  std::uint32_t failed = 0;  // refused, decode or write failures
};

// Extracts every member of the open archive below `folder`: folders are made along the way,
// times and attributes restored (folder times at the end, once their contents are written).
// False when no snapshot of the archive could be taken.
bool ExtractEntries(Archive& archive, const char* folder, const ExtractOptions& options,
                    ExtractCounts* counts);

// Extracts every member of the archive file into `folder`, never replacing an existing file.
// 0 when the archive cannot be opened, 1 otherwise.
int ExtractAll(const char* archivePath, const char* folder);

// Writes one member to `target` (a path the caller made with MakeTargetPath). When the target
// exists it asks `ask` (none: keep it) unless `*state` is ReplaceAll, and updates `*state` from
// the answer. 1 when the file was written, 0 otherwise; `result` (optional) says why.
int ExtractMemberToFile(Archive& archive, const ArchiveEntry& entry, const char* target,
                        OverwriteCallback ask, void* context, OverwriteState* state,
                        ExtractResult* result = nullptr);

// The same for a member placed by its path relative to a base folder inside the archive: the
// target is formed with MakeTargetPath, so a hostile path is refused (result Refused, 0).
int ExtractMemberBelow(Archive& archive, const ArchiveEntry& entry, const char* folder,
                       const char* relativePath, OverwriteCallback ask, void* context,
                       OverwriteState* state, ExtractResult* result = nullptr);
