// Changes of an archive are staged first (new data compressed at once into a delete-on-close
// temporary file; header-only changes and deletions only recorded in the archive's pending list)
// and then applied by one Commit, which rewrites the archive in place through an image file.
#pragma once

#include <cstdint>

#include "archive/ArchiveEntry.h"
#include "codec/LzEncoder.h"

class Archive;

enum class RewriteFailure : int {
  None = 0,
  Cancelled,        // the progress callback asked to stop
  SourceUnreadable, // the file to add could not be opened or read to its end
  TooLarge,         // a file of 4 GiB or more, or an archive that would pass 2^31 - 1 bytes
  BadEntry,         // the entry cannot be written at its header level (a level-0 path too long)
  NoTempFile,       // no temporary file could be made or written (disk full)
  Locked,           // the archive file is locked by another user
  ArchiveRead,      // reading the archive failed
  ArchiveWrite,     // writing the archive failed; see Commit for what the archive then holds
  NotOpen,          // the archive has no open file
};

// Text for messages of the command-line tool.
const char* RewriteFailureText(RewriteFailure failure);

// Largest archive length whose every byte (the closing zero included) has an offset that the
// headers' signed 32-bit fields can hold.
constexpr std::int64_t MaxArchiveLength = std::int64_t{0x7FFFFFFF} + 1;

// Stages the file at `sourcePath` as the member entry->directory + entry->name, replacing what
// was staged for that path before. The caller fills the entry except packedSize and crc; the
// method digit ('0', '4'..'7') chooses storing or the encoder, and data that does not shrink is
// stored as "-lh0-" (the entry says so afterwards). A folder entry (attribute 0x10) stages
// "-lhd-" without data. False, with the reason in `why`, when nothing was staged: the source
// cannot be read whole, it is 4 GiB or larger, the callback cancelled, no temporary file.
bool StageFile(Archive& archive, ArchiveEntry* entry, const char* sourcePath,
               codec::ProgressCallback progress, void* context, RewriteFailure* why = nullptr);

// Stages a header-only change (new directory/name, comment, attributes, header level) of the
// member at `memberPath`; `entry` is the member's record with the changed fields. False when the
// entry cannot be written at its header level or memory is short.
bool StageEntry(Archive& archive, const char* memberPath, const ArchiveEntry& entry);

// Stages the deletion of a member. False when the path is not in the catalogue.
bool MarkDeleted(Archive& archive, const char* memberPath);

// Stages the deletion of the folder `folderPath` ("DOC" or "DOC\") and of every member below
// it; returns how many members were marked.
std::uint32_t MarkDeletedBelow(Archive& archive, const char* folderPath);

// Takes back what was staged for exactly `memberPath` (file, folder entry, header change or
// deletion): its temporary file is deleted and the next Commit leaves that member as it is. For a
// caller whose Commit failed and that must not leave its changes behind for someone else's Commit.
// False when nothing is staged under that path.
bool Unstage(Archive& archive, const char* memberPath);

// Writes the archive anew with every staged change: unchanged members are copied as byte
// ranges, new members follow the last member in staging order, a closing zero byte ends them,
// and whatever the old file held after its last member (its closing byte aside) follows as it
// was. A staged path reaches the member of exactly its bytes, else one that differs in letter
// case only. A header-only change whose member is no longer in the archive is left out and
// counted in `dropped`. False, with the reason, when it could not: the archive is then unchanged
// and the changes stay staged. (The one exception is a write error that persists while the
// finished image is copied back; the archive then holds part of the new image and `why` is
// ArchiveWrite.)
bool Commit(Archive& archive, RewriteFailure* why = nullptr, std::uint32_t* dropped = nullptr);
