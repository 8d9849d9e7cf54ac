// The question asked when an extracted member would land on an existing file. The engine fills the
// record and asks through a callback; the shell library answers with its confirmation dialog, the
// command-line tool with a prompt or a flag.
#pragma once

#include <cstdint>

// What is known about the two files when a target exists.
struct OverwriteRecord {
  char newName[260];                // file name being written, without folder
  std::uint32_t newTime;            // member's modifyTime, seconds since 1970
  std::uint32_t newSize;            // member's originalSize
  char existingName[260];           // name of the file found on disk
  std::uint32_t existingTime;       // its last-write time, seconds since 1970
  std::uint32_t existingSize;       // its size in bytes
  std::uint32_t existingAttributes; // its attribute word (selects the dialog's wording)
};

// The four answers, numbered as the confirmation dialog's results.
enum class OverwriteAnswer : int {
  Yes = 1,     // overwrite this file
  All = 2,     // overwrite this and every later existing target of the same extraction
  No = 3,      // keep the existing file
  Cancel = 4,  // keep it and stop the extraction after this member
};

// State carried across the members of one extraction.
enum class OverwriteState : int {
  Ask = 0,         // ask for each existing target
  ReplaceAll = 1,  // "all" was answered: replace without asking
  Stop = 2,        // "cancel" was answered: the extraction ends
};

// Asks whether `record.existingName` may be replaced. `context` is the caller's (for example the
// owner window of the dialog).
using OverwriteCallback = OverwriteAnswer (*)(void* context, const OverwriteRecord& record);
