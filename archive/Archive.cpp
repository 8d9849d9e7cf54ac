#include "archive/Archive.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "archive/ByteSource.h"
#include "archive/CommitJournal.h"
#include "archive/Crc16.h"
#include "archive/EntryEnumerator.h"
#include "archive/StagedChange.h"
#include "archive/Header.h"

namespace {
// Some archives are preceded by a 128-byte block (a file-transfer or resource header).
constexpr std::int64_t PrefixBlock = 128;
}  // namespace

Archive::Archive() : members_(std::make_shared<MemberTable>()) {}

Archive::~Archive() {
  if (file_ != platform::NoFile) platform::CloseFile(file_);
  if (copyBuffer_ != platform::NoBlock) platform::FreeBlock(copyBuffer_);
  ClearPending();
}

void Archive::ClearPending() {
  // Temporary files are delete-on-close: closing them discards the staged data.
  for (std::uint32_t i = 0; i < pending_.Count(); ++i) {
    void* record = nullptr;
    pending_.Get(i, nullptr, nullptr, &record);
    FreeStagedChange(record);
  }
  pending_.Clear();
  platform::CloseFile(spool_);
  spool_ = platform::NoFile;
  spoolEnd_ = 0;
  renameStaged_ = false;
}

StageTicket Archive::NewTicket() { return ++lastTicket_; }

ResultCode Archive::OpenFile(const char* path) {
  if (!path) {
    if (file_ == platform::NoFile) return ResultInvalidArg;
    ForceRescan();
    return ResultOk;
  }
  if (std::strlen(path) >= sizeof path_) return ResultInvalidArg;
  platform::FileHandle file = platform::OpenFile(path, platform::OpenMode::ReadWriteExisting);
  const bool writable = file != platform::NoFile;
  // A read-only archive (or one on read-only media, or held deny-write by another program) is
  // still listed and extracted; a Commit on it fails without touching it.
  if (file == platform::NoFile) file = platform::OpenFile(path, platform::OpenMode::ReadExisting);
  if (file == platform::NoFile) return ResultInvalidArg;
  writable_ = writable;
  if (file_ != platform::NoFile && file_ != file) platform::CloseFile(file_);
  file_ = file;
  const std::size_t length = std::strlen(path);
  std::memcpy(path_, path, length + 1);
  const std::size_t suffix = std::strlen(JournalSuffix);
  journalPath_[0] = 0;
  if (length + suffix < sizeof journalPath_) {
    std::memcpy(journalPath_, path, length);
    std::memcpy(journalPath_ + length, JournalSuffix, suffix + 1);
  }
  ForceRescan();
  return ResultOk;
}

bool Archive::PathStillNamesFile() const {
  return file_ != platform::NoFile && platform::SameFile(file_, path_);
}

bool Archive::OwnedByCurrentThread() const {
  return ownerThread_.load(std::memory_order_acquire) == platform::CurrentThreadId();
}

int Archive::Lock(bool withFileLock) {
  const std::uint32_t self = platform::CurrentThreadId();
  {
    // Taken and counted under one hold of the mutex: between the two, another thread would find
    // the depth still 0 and take the lock as well.
    std::unique_lock<std::mutex> guard(lockMutex_);
    if (ownerThread_.load(std::memory_order_acquire) != self) {
      lockReleased_.wait(guard, [this] { return depth_ == 0; });
      ownerThread_.store(self, std::memory_order_release);
    }
    ++depth_;
  }
  if (withFileLock && !fileLocked_) {
    if (file_ == platform::NoFile || !platform::LockWholeFile(file_)) {
      Unlock();
      return 0;
    }
    fileLocked_ = depth_;
    if (!RecoverJournal()) ForceRescan();
  }
  RescanIfChanged();
  return 1;
}

bool Archive::RecoverJournal() {
  // Nobody commits without the whole-file lock, so a journal found under it was left by a
  // commit that was interrupted: its archive is finished (sealed) or was never touched.
  if (!journalPath_[0] || platform::GetAttributes(journalPath_) == platform::InvalidAttributes)
    return true;
  platform::FileHandle journal =
      platform::OpenFile(journalPath_, platform::OpenMode::ReadExisting);
  if (journal == platform::NoFile) return false;
  JournalPlan plan;
  const JournalState state = ReadJournal(journal, &plan);
  bool done = state == JournalState::Unsealed;
  if (state == JournalState::Sealed) {
    const std::int64_t size = platform::FileSize(file_);
    // A journal that cannot be this archive's (its length lies outside what that commit could
    // have left) is not applied to it.
    const bool belongs = size >= std::min(plan.oldLength, plan.newLength) &&
                         size <= std::max(plan.oldLength, plan.newLength);
    if (!belongs) {
      done = true;
    } else if (copyBuffer_ != platform::NoBlock ||
               (copyBuffer_ = platform::AllocBlock(CopyBufferSize, false)) != platform::NoBlock) {
      auto* buffer = static_cast<std::uint8_t*>(platform::LockBlock(copyBuffer_));
      done = buffer && ApplyJournal(journal, file_, plan, buffer);
      platform::UnlockBlock(copyBuffer_);
      ForceRescan();
    }
  }
  platform::CloseFile(journal);
  // One that could not be applied (a read-only handle, a full disk) stays for the next holder;
  // the scan meanwhile reads the archive as unreadable rather than as what it half is.
  return done && platform::RemoveFile(journalPath_);
}

void Archive::RescanIfChanged() {
  platform::FileTime written;
  if (file_ == platform::NoFile || !platform::GetFileTimes(file_, nullptr, nullptr, &written) ||
      platform::CompareFileTime(written, stamp_) == 0) {
    return;
  }
  // A journal beside the file: a commit is under way, or was interrupted and is finished here
  // (under the whole-file lock, which nobody else holds then). A file whose journal is still
  // pending is read as unreadable: the old catalogue stays until the commit is complete.
  bool pending = false;
  if (journalPath_[0] && platform::GetAttributes(journalPath_) != platform::InvalidAttributes) {
    if (fileLocked_) {
      pending = !RecoverJournal();
    } else if (platform::LockWholeFile(file_)) {
      fileLocked_ = depth_;
      pending = !RecoverJournal();
      fileLocked_ = 0;
      platform::UnlockWholeFile(file_);
    } else {
      pending = true;
    }
    if (!platform::GetFileTimes(file_, nullptr, nullptr, &written)) pending = true;
  }
  const std::int64_t size = platform::FileSize(file_);
  if (pending || ScanFile() == ScanResult::Unreadable) {
    ForceRescan();
    scanFailed_ = true;
    return;
  }
  scanFailed_ = false;
  scanLocked_ = fileLocked_ != 0;
  scannedSize_ = size;
  stamp_ = written;
}

bool Archive::RescanUnlessCurrent() {
  if (file_ == platform::NoFile || !fileLocked_ || !OwnedByCurrentThread()) return false;
  platform::FileTime written;
  const bool current = scanLocked_ && platform::GetFileTimes(file_, nullptr, nullptr, &written) &&
                       platform::CompareFileTime(written, stamp_) == 0 &&
                       platform::FileSize(file_) == scannedSize_;
  if (current) return true;
  ForceRescan();
  RescanIfChanged();
  return file_ != platform::NoFile && scanLocked_;
}

int Archive::Unlock() {
  if (!OwnedByCurrentThread()) return 1;
  if (fileLocked_ != 0 && fileLocked_ == depth_) {
    fileLocked_ = 0;
    platform::UnlockWholeFile(file_);
  }
  std::lock_guard<std::mutex> guard(lockMutex_);
  if (depth_ > 0 && --depth_ == 0) {
    ownerThread_.store(0, std::memory_order_release);
    lockReleased_.notify_one();
  }
  return 1;
}

std::int32_t Archive::Retain() { return ++refCount_; }

std::int32_t Archive::Release() {
  std::int32_t count = --refCount_;
  if (count == 0) delete this;
  return count;
}

// Reads headers from `position` on into `table`; false when not even the first one could be read.
bool Archive::ScanFrom(std::int64_t position, ByteSource& source, MemberTable* table) {
  ArchiveEntry entry;
  bool first = true;
  for (;;) {
    std::int64_t next = ReadHeader(source, position, &entry);
    // ReadHeader only ever moves forward; the test keeps a damaged chain from looping regardless.
    if (next <= position) return !first;
    // Memory running short ends the scan: the members read so far form the catalogue.
    if (!table->Add(entry)) return !first;
    first = false;
    position = next;
  }
}

int Archive::Rescan() {
  if (file_ == platform::NoFile || !OwnedByCurrentThread()) return 0;
  return ScanFile() == ScanResult::NotArchive ? 0 : 1;
}

Archive::ScanResult Archive::ScanFile() {
  // A read that fails, or another handle rewriting the file meanwhile (POSIX locks do not stop
  // this reading), says nothing about the file: the previous catalogue stays and the next Lock
  // scans again. Taking such a file for "not an archive" would close it.
  if (platform::WholeFileLockedElsewhere(file_)) return ScanResult::Unreadable;
  // A new table replaces the old one, which snapshots taken from it keep alive.
  std::shared_ptr<MemberTable> table;
  try {
    table = std::make_shared<MemberTable>();
  } catch (const std::bad_alloc&) {
    return ScanResult::Archive;  // memory ran short: the previous catalogue stays
  }
  FileSource source(file_, true);
  // A failed first header leaves the table empty, ready for the second try.
  const bool found =
      ScanFrom(0, source, table.get()) || ScanFrom(PrefixBlock, source, table.get());
  // No member at 0 nor at 128. An empty file, or just the closing zero byte, is an archive
  // without members: it stays open so that members can be added to it.
  bool empty = false;
  if (!found) {
    const std::int64_t size = source.Size();
    std::uint8_t first = 0xFF;
    std::uint32_t got = 0;
    empty = size == 0 ||
            (size == 1 && source.ReadAt(0, &first, 1, &got) && got == 1 && first == 0);
  }
  if (source.Failed() || platform::WholeFileLockedElsewhere(file_)) return ScanResult::Unreadable;
  members_ = std::move(table);
  if (found || empty) return ScanResult::Archive;
  platform::CloseFile(file_);
  file_ = platform::NoFile;
  return ScanResult::NotArchive;
}

EntryEnumerator* Archive::EnumEntries() {
  if (!Lock(false)) return nullptr;
  auto* snapshot = new (std::nothrow) EntryEnumerator(members_);
  Unlock();
  if (snapshot) snapshot->AddRef();
  return snapshot;
}

int Archive::CopyData(platform::FileHandle source, platform::FileHandle target,
                      std::uint32_t count, std::uint16_t* crc) {
  if (copyBuffer_ == platform::NoBlock) copyBuffer_ = platform::AllocBlock(CopyBufferSize, false);
  auto* buffer = static_cast<std::uint8_t*>(platform::LockBlock(copyBuffer_));
  if (!buffer) return 0;
  if (crc) *crc = 0;
  const bool toEnd = count == CopyToEnd;
  std::uint32_t remaining = count;
  int result = 1;
  while (toEnd || remaining > 0) {
    std::uint32_t want = (toEnd || remaining > CopyBufferSize) ? CopyBufferSize : remaining;
    std::uint32_t got = 0;
    if (!platform::ReadFile(source, buffer, want, &got)) {
      result = 0;
      break;
    }
    if (crc) *crc = UpdateCrc16(*crc, buffer, got);
    if (got > 0 && !platform::WriteFile(target, buffer, got)) {
      result = 0;
      break;
    }
    if (!toEnd) remaining -= got;
    if (got < want) {
      // The source ended: fine when copying to its end, a failure when bytes were promised.
      if (!toEnd && remaining > 0) result = 0;
      break;
    }
  }
  platform::UnlockBlock(copyBuffer_);
  return result;
}

std::int32_t Archive::FindMember(const char* path) const { return members_->List().FindExactFirst(path); }

bool Archive::GetMember(std::uint32_t index, ArchiveEntry* out) const {
  return members_->Get(index, out);
}
