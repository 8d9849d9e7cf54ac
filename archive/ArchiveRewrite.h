// Changes of an archive are staged first (new data compressed at once, small members into the
// archive's spool file and large ones into a delete-on-close temporary file of their own;
// header-only changes and deletions only recorded in the archive's pending list) and then applied
// by one Commit, which rewrites the archive through a journal (CommitJournal.h): interrupted at
// any instant, the archive is found old or new, never in between.
#pragma once

#include <cstdint>

#include "archive/ArchiveEntry.h"
#include "archive/StagedChange.h"
#include "codec/LzEncoder.h"

class Archive;

enum class RewriteFailure : int {
  None = 0,
  Cancelled,        // the progress callback asked to stop
  SourceUnreadable, // the file to add could not be opened or read to its end
  TooLarge,         // a file of 4 GiB or more, or an archive that would pass 2^31 - 1 bytes
  BadEntry,         // the entry cannot be written at its header level (a level-0 path too long)
  NoTempFile,       // no temporary file or journal could be made or written (disk full)
  Locked,           // the archive file is locked by another user, read-only or held deny-write
  ArchiveRead,      // reading the archive failed
  ArchiveWrite,     // writing the archive failed after its journal was sealed: the next whole-file
                    // lock finishes the commit (see Commit)
  NotOpen,          // the archive has no open file
  Collision,        // StageFile with mustBeNew: the path is in the archive or staged already
  DamagedTail,      // the last member's data is cut short: nothing can be placed after it
  Replaced,         // the file at the archive's path is no longer the one opened
};

// Text for messages of the command-line tool.
const char* RewriteFailureText(RewriteFailure failure);

// Largest archive length whose every byte (the closing zero included) has an offset that the
// headers' signed 32-bit fields can hold.
constexpr std::int64_t MaxArchiveLength = std::int64_t{0x7FFFFFFF} + 1;

// Stages the file at `sourcePath` as the member entry->directory + entry->name, replacing what
// was staged for that member before. The change applies to the member of exactly that path, else
// to one that differs only in letter case (resolved now, under the lock: a later Commit never
// looks for another). The caller fills the entry except packedSize and crc; the method digit ('0',
// '4'..'7') chooses storing or the encoder, and data that does not shrink is stored as "-lh0-"
// (the entry says so afterwards). A "-lhd-" entry, or a source that is a folder, stages a folder
// entry without data. With `mustBeNew`, fails with Collision when at the moment of staging the path
// is in the catalogue (not staged for deletion) or staged by anyone, ignoring case. `*ticket`
// receives the ticket of this staging. False, with the reason in `why`, when nothing was staged:
// the source cannot be read whole, it is 4 GiB or larger, the callback cancelled, no temporary
// file, a collision.
bool StageFile(Archive& archive, ArchiveEntry* entry, const char* sourcePath,
               codec::ProgressCallback progress, void* context, RewriteFailure* why = nullptr,
               StageTicket* ticket = nullptr, bool mustBeNew = false);

// StageFile in two halves, for callers that compress on other threads: PrepareStage compresses
// (no lock, no archive; `*folder` tells a folder entry), FilePrepared files the result under the
// archive's lock with StageFile's rules. Each false with the reason in `why`.
class StagingOutput;
bool PrepareStage(ArchiveEntry* entry, const char* sourcePath, StagingOutput& output,
                  bool* folder, codec::ProgressCallback progress, void* context,
                  RewriteFailure* why);
bool FilePrepared(Archive& archive, const ArchiveEntry& entry, bool folder,
                  StagingOutput& output, StageTicket* ticket, bool mustBeNew, RewriteFailure* why);

// True when `path` is taken, ignoring letter case, by a member of the catalogue that is not staged
// for deletion, or by a staged change (also by the new path of a staged rename), as StageFile's
// `mustBeNew` sees it. The caller holds the archive's lock.
bool PathTaken(Archive& archive, const char* path);

// Stages a header-only change (new directory/name, comment, attributes, header level) of the
// member at `memberPath` (exactly that path, else one differing only in case, resolved now);
// `entry` is the member's record with the changed fields.
// False when the entry cannot be written at its header level or memory is short.
bool StageEntry(Archive& archive, const char* memberPath, const ArchiveEntry& entry,
                StageTicket* ticket = nullptr);

// Stages the deletion of the member of `memberPath` (resolved now, as StageEntry does). False
// when no member has that path.
bool MarkDeleted(Archive& archive, const char* memberPath, StageTicket* ticket = nullptr);

// Stages the deletion of the folder `folderPath` ("DOC" or "DOC\") and of every member below
// it; returns how many members were marked.
std::uint32_t MarkDeletedBelow(Archive& archive, const char* folderPath);

// Takes back what was staged for exactly `memberPath` (file, folder entry, header change or
// deletion) when `ticket` is 0, or the staging of `ticket` (whatever member it was filed under):
// its data is dropped and the next
// Commit leaves that member as it is. For a caller whose Commit failed and that must not leave
// its changes behind for someone else's Commit. False when nothing (of that ticket) is staged
// under that path.
bool Unstage(Archive& archive, const char* memberPath, StageTicket ticket = 0);

// Writes the archive anew with every staged change: unchanged members keep their bytes, new
// members follow the last member in staging order, a closing zero byte ends them, and whatever
// the old file held after its last member (its closing byte aside) follows as it was. A change
// reaches only the member it was staged for; a header-only change whose member is no longer in
// the archive is left out and counted in `dropped` (and a replacement whose member has gone is
// added as new). The new bytes go to a journal beside the archive first (CommitJournal.h), so
// that an interruption at any instant leaves the old or the new archive. May run inside the
// caller's Lock. False, with the reason, when it could not: the archive is then unchanged and the
// changes stay staged (one exception: a write error that persists while the sealed journal is
// applied: `why` is ArchiveWrite and the journal stays, to be applied at the next whole-file
// lock).
bool Commit(Archive& archive, RewriteFailure* why = nullptr, std::uint32_t* dropped = nullptr);
