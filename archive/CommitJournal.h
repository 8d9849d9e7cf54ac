// The commit journal: how a rewrite survives being interrupted at any instant.
//
// A commit writes everything it is about to put into the archive (the bytes that do not already
// stand at their place) into a journal file beside the archive, then a trailer naming where each
// run of those bytes goes, and flushes both before the archive is touched. Only a sealed journal
// (its trailer complete and its check matching) is ever applied, and applying it is idempotent: it
// copies journal bytes to fixed offsets and sets the final length, never reading the archive. So
// an interrupted commit leaves either an unsealed journal beside an untouched archive (the old
// archive: the journal is thrown away) or a sealed one (whoever next takes the whole-file lock
// applies it again: the new archive). The archive keeps its identity throughout, so every handle
// other windows and processes hold on it stays valid.
//
// Trailer, at the journal's end (little-endian): `spanCount` spans of three int64 (journal offset,
// archive offset, length), then oldLength, newLength, imageLength (int64 each), spanCount
// (uint32), the CRC-16 of everything from the first span to spanCount (uint16, then 2 zero
// bytes), and the 8-byte JournalMagic.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/Platform.h"

struct JournalSpan {
  std::int64_t imageAt;    // where the bytes lie in the journal
  std::int64_t archiveAt;  // where they go in the archive
  std::int64_t length;
};

struct JournalPlan {
  std::int64_t oldLength = 0;
  std::int64_t newLength = 0;
  std::int64_t imageLength = 0;
  std::vector<JournalSpan> spans;
};

enum class JournalState { Sealed, Unsealed, Unreadable };

// Copies exactly `length` bytes from `from` in `source` to the current position of `target`
// through `buffer` (of CopyChunk bytes), optionally with their CRC-16. A read that fails or a
// source that ends early sets `*readFailed`.
constexpr std::uint32_t CopyChunk = 0x40000;
bool CopyFileRange(platform::FileHandle source, std::int64_t from, std::int64_t length,
                   platform::FileHandle target, std::uint8_t* buffer, std::uint16_t* crc,
                   bool* readFailed);

// Flushes the image (the journal's first plan.imageLength bytes), appends the trailer and flushes
// again. False when a write or a flush failed: the journal is then not sealed.
bool SealJournal(platform::FileHandle journal, const JournalPlan& plan);

// Reads the trailer of `journal`. Sealed: `*plan` holds a plan whose spans all lie inside the
// image and inside the new length. Unsealed: no complete trailer (a commit stopped while writing
// it). Unreadable: the journal could not be read.
JournalState ReadJournal(platform::FileHandle journal, JournalPlan* plan);

// Applies a sealed plan to `archive`: space for the new length first, then every span, a flush,
// the final length and another flush. False when a step failed; applying the same plan again
// later finishes the job.
bool ApplyJournal(platform::FileHandle journal, platform::FileHandle archive,
                  const JournalPlan& plan, std::uint8_t* buffer);
