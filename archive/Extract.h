// Writing archive members to ordinary files and folders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "archive/ArchiveEntry.h"
#include "archive/OverwriteQuestion.h"
#include "archive/TargetPath.h"

class Archive;
class DecodeAhead;

// What became of one member.
enum class ExtractResult : int {
  Written = 0,   // file written (or folder made)
  Kept,          // the target exists and was left as it was
  Refused,       // the member's path would leave the target folder; nothing written
  DecodeFailed,  // unknown method, damaged data or CRC mismatch; no file left behind
  WriteFailed,   // the target could not be created or written; no partial file left behind
  Stopped,       // the extraction was cancelled before this member
  Changed,       // the member changed in the archive while it was read; nothing written
  LinkRefused,   // a link lies on the way to the target (or is the target); nothing written
  SameFileKept,      // the target is a file this extraction wrote for another member; kept
  SameFileReplaced,  // the same, replaced as the answer or the state said
};

// True for a folder entry: its method is "-lhd-". The attribute bit 0x10 alone does not make a
// member with data a folder.
bool IsFolderMember(const ArchiveEntry& entry);

// What a visit of one member came to.
enum class MemberVisit { Done, Changed };
// Calls `visit` with the place and record of every member of one snapshot of the catalogue, and
// how many members before it in that snapshot have the same path (exactly). When a visit says the
// archive changed, a new snapshot is taken (after a short wait) and the walk starts again,
// skipping members already visited (the same header, wherever it now lies).
// Gives up after `attempts` changes in a row without progress. `*members` (optional): the
// member count of the last snapshot. False when no snapshot could be taken or it gave up.
bool VisitMembersOnce(Archive& archive,
                      const std::function<MemberVisit(std::uint32_t index, const ArchiveEntry&,
                                                      std::uint32_t occurrence)>& visit,
                      int attempts, std::uint32_t* members = nullptr);
// The same, reading up to `lookahead` members past the one visited and telling `ahead` about each
// member to be visited as soon as it is read (a new snapshot starts again with no member read).
bool VisitMembersOnce(Archive& archive,
                      const std::function<MemberVisit(std::uint32_t index, const ArchiveEntry&,
                                                      std::uint32_t occurrence)>& visit,
                      int attempts, std::uint32_t* members, std::size_t lookahead,
                      const std::function<void(std::uint32_t index, const ArchiveEntry&)>& ahead);

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
  // How often in a row an archive that another handle is rewriting is read again, 25 ms apart,
  // before the extraction gives up.
  int changeAttempts = 40;
  // Threads that decode members ahead of the writing (0: one per core; 1: none beside the
  // calling thread). Questions, reports and writing stay on the calling thread, in archive order.
  unsigned threads = 0;
  // Members smaller than this are decoded by the calling thread, not handed to one ahead (see
  // DecodeAhead).
  std::uint32_t smallestAhead = 0;
};

struct ExtractCounts {
  std::uint32_t written = 0;
  std::uint32_t kept = 0;
  std::uint32_t failed = 0;  // refused, decode or write failures, SameFileKept
  std::uint32_t collided = 0;  // SameFileKept and SameFileReplaced
};

// Extracts every member of the open archive below `folder`: folders are made along the way,
// times and attributes restored (folder times at the end, once their contents are written).
// A member that lands on a file this extraction already wrote is asked about as an existing file
// and reported as SameFileKept or SameFileReplaced. False when no snapshot of the archive could
// be taken, or the archive kept changing.
bool ExtractEntries(Archive& archive, const char* folder, const ExtractOptions& options,
                    ExtractCounts* counts);

// Extracts every member of the archive file into `folder`, never replacing an existing file,
// decoding members of `smallestAhead` bytes or more ahead on every core. 0 when the archive
// cannot be opened, 1 otherwise.
int ExtractAll(const char* archivePath, const char* folder, std::uint32_t smallestAhead = 0);

// Writes the member at place `index` of the catalogue, as the snapshot record `entry` describes
// it, to `target` (a path the caller made with MakeTargetPath from `folder`). The data written is
// the member's as decoded, whole, or nothing (Changed). When the target exists it asks `ask`
// (none: keep it) unless `*state` is ReplaceAll, and updates `*state` from the answer; a link
// below `folder` is never followed. 1 when the file was written, 0 otherwise; `result` says why.
// `ahead` (optional): a pool the caller queued this member on, in the order it extracts them.
int ExtractMemberToFile(Archive& archive, std::uint32_t index, const ArchiveEntry& entry,
                        const char* folder, const char* target, OverwriteCallback ask,
                        void* context, OverwriteState* state, ExtractResult* result = nullptr,
                        DecodeAhead* ahead = nullptr);

// The same for a member placed by its path relative to a base folder inside the archive: the
// target is formed with MakeTargetPath, so a hostile path is refused (result Refused, 0).
int ExtractMemberBelow(Archive& archive, std::uint32_t index, const ArchiveEntry& entry,
                       const char* folder,
                       const char* relativePath, OverwriteCallback ask, void* context,
                       OverwriteState* state, ExtractResult* result = nullptr);
