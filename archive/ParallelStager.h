// Stages many files at once: members of an LZH archive are independent streams, so a pool of
// worker threads compresses them side by side while the calling thread files the results in the
// order given, so the archive comes out byte for byte as staging them one after another would
// make it. At most a few members per worker are in flight (each holds at most
// StagingOutput::SpoolLimit bytes in memory; larger ones stream into a file of their own).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/ArchiveEntry.h"
#include "archive/ArchiveRewrite.h"

struct StageRequest {
  ArchiveEntry entry;       // as StageFile takes it; completed when staged
  std::string source;       // the file (or folder) on disk
  bool mustBeNew = false;   // as StageFile's
  // Results.
  bool staged = false;
  RewriteFailure why = RewriteFailure::None;
  StageTicket ticket = 0;
};

// Progress, called on the calling thread only: original bytes read so far by all workers and the
// number of requests finished. A nonzero answer cancels: requests not yet staged end Cancelled.
using StageProgress = int (*)(void* context, std::uint64_t bytesRead, std::uint32_t finished);

// The worker count for `wanted` (0: one per core) on this machine: at least 1, at most
// MaxStageThreads.
constexpr unsigned MaxStageThreads = 64;
unsigned StageThreadCount(unsigned wanted);

// Stages every request of `requests` (in their order) with `threads` workers (StageThreadCount
// applies). Returns how many were staged; each request says how it ended. A failure of one
// request does not stop the others (the caller decides whether to commit).
std::uint32_t StageFiles(Archive& archive, std::vector<StageRequest>& requests, unsigned threads,
                         StageProgress progress, void* context);
