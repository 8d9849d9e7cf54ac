// Stand-in for the staging tickets until they are part of the rewrite's own interface.
#pragma once

#include <cstdint>

#include "archive/Archive.h"
#include "archive/ArchiveRewrite.h"

using StageTicket = std::uint64_t;
constexpr RewriteFailure StageCollision = static_cast<RewriteFailure>(1000);

inline bool StageFile(Archive& archive, ArchiveEntry* entry, const char* sourcePath,
                      codec::ProgressCallback progress, void* context, RewriteFailure* why,
                      StageTicket* ticket, bool mustBeNew) {
  char path[EntryPathMax];
  EntryPath(*entry, path);
  if (mustBeNew && archive.Lock(false)) {
    bool taken = archive.Catalogue().FindNoCase(path) >= 0 ||
                 archive.Pending().FindNoCase(path) >= 0;
    archive.Unlock();
    if (taken) {
      *why = StageCollision;
      return false;
    }
  }
  *ticket = 1;
  return StageFile(archive, entry, sourcePath, progress, context, why);
}

inline bool Unstage(Archive& archive, const char* memberPath, StageTicket) {
  return Unstage(archive, memberPath);
}
