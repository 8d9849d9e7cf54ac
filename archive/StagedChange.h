// One change staged for the next Commit, as the archive's pending list holds it. The list's key
// is the exact path of the member the change applies to (resolved when it was staged), or the
// new member's path when it replaces none; its record is the StagedChange, or null for a
// deletion.
#pragma once

#include <cstdint>

#include "archive/ArchiveEntry.h"
#include "platform/Platform.h"

using StageTicket = std::uint64_t;

struct StagedChange {
  ArchiveEntry entry;       // the member as it will be written
  StageTicket ticket = 0;   // who staged it (Unstage takes back only its own)
  bool hasData = false;     // new packed data (else a header-only change or a folder entry)
  // The packed data: a delete-on-close file of its own, or a range of the archive's spool.
  platform::FileHandle file = platform::NoFile;
  std::int64_t spoolAt = 0;
};

// Releases a record of the pending list (its own temporary file included).
inline void FreeStagedChange(void* record) {
  auto* change = static_cast<StagedChange*>(record);
  if (!change) return;
  platform::CloseFile(change->file);
  delete change;
}
