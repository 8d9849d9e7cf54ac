#include "archive/StagingOutput.h"

#include <new>

#include "archive/Archive.h"

using platform::FileHandle;
using platform::NoFile;

bool StagingOutput::Write(const void* buffer, std::uint32_t count) {
  if (failed_) return false;
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  if (file_ == NoFile && memory_.size() + count <= SpoolLimit) {
    try {
      memory_.insert(memory_.end(), bytes, bytes + count);
    } catch (const std::bad_alloc&) {
      failed_ = true;
    }
    return !failed_;
  }
  if (file_ == NoFile) {
    file_ = platform::CreateTempFile();
    if (file_ == NoFile ||
        (!memory_.empty() &&
         !platform::WriteFile(file_, memory_.data(), static_cast<std::uint32_t>(memory_.size())))) {
      failed_ = true;
      return false;
    }
    std::vector<std::uint8_t>().swap(memory_);
  }
  if (!platform::WriteFile(file_, bytes, count)) failed_ = true;
  return !failed_;
}

bool StagingOutput::Rewind() {
  memory_.clear();
  if (file_ != NoFile && (platform::SeekFile(file_, 0, platform::SeekFrom::Begin) != 0 ||
                          !platform::SetEndOfFile(file_)))
    failed_ = true;
  return !failed_;
}

bool StagingOutput::Hand(Archive& archive, StagedChange* change) {
  if (failed_) return false;
  if (file_ != NoFile) {
    if (platform::SeekFile(file_, 0, platform::SeekFrom::Begin) != 0) return false;
    change->file = file_;
    file_ = NoFile;
    return true;
  }
  FileHandle& spool = archive.Spool();
  if (spool == NoFile) {
    spool = platform::CreateTempFile();
    archive.SpoolEnd() = 0;
    if (spool == NoFile) return false;
  }
  const std::int64_t at = archive.SpoolEnd();
  if (platform::SeekFile(spool, at, platform::SeekFrom::Begin) != at ||
      (!memory_.empty() &&
       !platform::WriteFile(spool, memory_.data(), static_cast<std::uint32_t>(memory_.size()))))
    return false;
  change->spoolAt = at;
  archive.SpoolEnd() = at + static_cast<std::int64_t>(memory_.size());
  return true;
}
