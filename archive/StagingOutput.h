// Packed data of a member being staged: kept in memory up to SpoolLimit and then appended to
// the archive's spool, so that a drop of a hundred thousand small files makes no temporary file
// per member (a folder holds only 65,535 temporary names); larger members spill into a
// delete-on-close temporary file of their own.
#pragma once

#include <cstdint>
#include <vector>

#include "archive/StagedChange.h"
#include "codec/ByteStream.h"
#include "platform/Platform.h"

class Archive;

class StagingOutput final : public codec::ByteOutput {
 public:
  static constexpr std::size_t SpoolLimit = 0x100000;

  StagingOutput() = default;
  StagingOutput(const StagingOutput&) = delete;
  StagingOutput& operator=(const StagingOutput&) = delete;
  ~StagingOutput() { platform::CloseFile(file_); }

  // False once a write failed (memory or disk short); every later write fails too.
  bool Write(const void* buffer, std::uint32_t count) override;
  // Starts over empty (stored data replacing an encoding that did not shrink).
  bool Rewind();
  bool failed() const { return failed_; }
  // Moves the data into `change`: its own file (rewound), or appended to the archive's spool.
  // The caller holds the archive's lock.
  bool Hand(Archive& archive, StagedChange* change);

 private:
  std::vector<std::uint8_t> memory_;
  platform::FileHandle file_ = platform::NoFile;
  bool failed_ = false;
};
