// An engine Archive opened on a file for the length of a test scope.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveEntry.h"
#include "archive/EntryEnumerator.h"

namespace testsupport {

// An Archive with one reference, opened on `path`; released at the end of the scope.
class OpenArchive {
 public:
  explicit OpenArchive(const std::string& path) : archive_(new Archive()) {
    archive_->Retain();
    ok_ = archive_->OpenFile(path.c_str()) == ResultOk;
  }
  ~OpenArchive() { archive_->Release(); }
  OpenArchive(const OpenArchive&) = delete;
  OpenArchive& operator=(const OpenArchive&) = delete;
  // Whether the file opened as an archive.
  bool ok() const { return ok_; }
  Archive& operator*() { return *archive_; }
  Archive* operator->() { return archive_; }

  // The catalogue as it stands now (a changed file is rescanned first).
  std::vector<ArchiveEntry> Members() {
    std::vector<ArchiveEntry> entries;
    EntryEnumerator* snapshot = archive_->EnumEntries();
    if (!snapshot) return entries;
    entries.resize(snapshot->Count());
    std::uint32_t fetched = 0;
    snapshot->Next(static_cast<std::uint32_t>(entries.size()), entries.data(), &fetched);
    entries.resize(fetched);
    snapshot->Release();
    return entries;
  }
  // How many changes are staged and not yet committed.
  std::uint32_t PendingCount() {
    archive_->Lock(false);
    std::uint32_t n = archive_->Pending().Count();
    archive_->Unlock();
    return n;
  }

 private:
  Archive* archive_;
  bool ok_ = false;
};

// A member's full path ("DIR\\NAME").
inline std::string PathOf(const ArchiveEntry& entry) {
  char path[EntryPathMax];
  EntryPath(entry, path);
  return path;
}

}  // namespace testsupport
