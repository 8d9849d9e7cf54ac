// One open LZH archive file: its handle, the catalogue of its members (one ArchiveEntry per header,
// in file order), the changes staged for the next rewrite, and the lock that lets the shell's
// thread and worker threads share it.
//
// The catalogue is refreshed from the file whenever the file's last-write time differs from the
// one seen at the last scan, so changes made through another Archive object or another process
// show up at the next Lock.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "archive/ArchiveEntry.h"
#include "archive/MemberTable.h"
#include "archive/PathName.h"
#include "archive/StagedChange.h"
#include "archive/Results.h"
#include "archive/StringList.h"
#include "platform/Platform.h"

class ByteSource;
class EntryEnumerator;

class Archive {
 public:
  // Transfer buffer of CopyData, allocated at first use.
  static constexpr std::uint32_t CopyBufferSize = 0x40000;
  // CopyData's count meaning "up to the end of the source".
  static constexpr std::uint32_t CopyToEnd = 0xFFFFFFFF;

  // Count 0, no file: the creator calls OpenFile and Retain.
  Archive();
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  // Opens `path` for reading and writing (sharing both; for reading only when writing is refused)
  // and forces a scan at the next Lock. A path
  // that cannot be opened (or does not fit a path buffer) gives ResultInvalidArg and leaves the
  // object as it was. Without a path: ResultInvalidArg when no file is open, else a forced rescan.
  ResultCode OpenFile(const char* path);

  // Takes the lock, waiting (without spinning) while another thread holds it; with
  // `withFileLock` also the whole-file lock that excludes other handles and processes (not
  // waited for: 0 at once when someone else holds it). Counted: the owning thread may lock again,
  // and each Lock that returned 1 is matched by one Unlock; the whole-file lock is let go by the
  // Unlock matching the Lock that took it. Under the whole-file lock a commit that another
  // holder left half-done (its journal beside the archive) is completed first. Rescans when the
  // file's last-write time changed. 1 or 0 (and then nothing more is held than before).
  int Lock(bool withFileLock);
  // Undoes one Lock. Always 1.
  int Unlock();
  // True while the calling thread holds the whole-file lock.
  bool FileLockedByCurrentThread() const { return OwnedByCurrentThread() && fileLocked_ != 0; }
  // True when the calling thread holds the lock (callers that may run under the lock check this
  // instead of taking it again, so they do not release a lock they did not take).
  bool OwnedByCurrentThread() const;

  // A new snapshot of the catalogue with one reference, or null when the lock or memory fails.
  EntryEnumerator* EnumEntries();

  // Interlocked reference count (worker threads hold archives too); Release destroys the object
  // at 0.
  std::int32_t Retain();
  std::int32_t Release();

  // Copies `count` bytes (CopyToEnd: up to the end of the source) from the source's position to
  // the target's, through the 256 KB buffer, updating `*crc` (zeroed first) when given. 1 or 0;
  // a failed or short write fails, and so does a source that ends before an explicit count.
  int CopyData(platform::FileHandle source, platform::FileHandle target, std::uint32_t count,
               std::uint16_t* crc);

  // Rebuilds the catalogue from the file (lock held, file open). 1 when the file is an archive;
  // 0 (and the file is closed) when no header is found at 0 nor after a 128-byte block. An empty
  // file, or one holding only the closing zero byte, is an empty archive and stays open. A file
  // that cannot be read through keeps the previous catalogue (1; see ScanFailed).
  int Rescan();

  // Decodes the member whose full path is `path` (found as FindMember finds it) into a new movable block
  // of its original size, handed over unlocked; the caller frees it. Copies the member's record to
  // `*entry` when given. 0 success; 1 failure (no file, lock not obtained, member not found,
  // method not decodable, packed data short, damaged or not matching its CRC); 2 out of memory.
  // On any failure `*block` is NoBlock and nothing is held. The archive lock is taken only while
  // the packed data is read; a thread that already holds it reads under it and leaves the file
  // position as it found it. (ArchiveDecode.cpp)
  int DecodeMember(const char* path, platform::MemoryBlock* block, ArchiveEntry* entry);
  // The same into the caller's buffer of at least the member's original size.
  int DecodeMemberInto(const char* path, void* buffer, ArchiveEntry* entry);
  // Result of DecodeMemberAt when the member is not, or no longer, what `expected` says.
  static constexpr int DecodeChanged = 3;
  // Decodes the member at place `index` of the catalogue, which must still be the one `expected`
  // describes (a record of a snapshot): under the whole-file lock the catalogue is made to match
  // the file and the header at `expected.headerOffset` is read again. Results as DecodeMember, and
  // DecodeChanged (nothing decoded) when the member moved or changed, or another handle holds the
  // file lock: the caller reads the catalogue again. A caller holding the lock must hold it with
  // the whole-file lock (else DecodeChanged). `*entry` (optional): the record decoded for.
  // `readDone` (optional) is called once, on every path, as soon as the file will not be read
  // again for this member (before the decoding), for callers that order their reads.
  int DecodeMemberAt(std::uint32_t index, const ArchiveEntry& expected,
                     platform::MemoryBlock* block, ArchiveEntry* entry,
                     void (*readDone)(void*) = nullptr, void* context = nullptr);

  // ----- For the decoder drivers and the rewrite; the caller holds the lock. -----

  // Index of the first member whose full path equals `path` exactly, else of the first that
  // equals it ignoring case; -1 when none does.
  std::int32_t FindMember(const char* path) const;
  // The whole record of the member at `index`; false past the end.
  bool GetMember(std::uint32_t index, ArchiveEntry* out) const;
  // Its fixed fields only (sizes, offsets, times, method): cheap enough for walks over large
  // catalogues. The text fields of `*out` are not touched.
  bool GetMemberFixed(std::uint32_t index, ArchiveEntry* out) const {
    return members_->GetFixed(index, out);
  }
  std::uint32_t MemberCount() const { return members_->Count(); }
  // The catalogue in file order: key = full path, data = attributes (records through GetMember).
  // A rescan replaces it rather than changing it; a caller that keeps it across an Unlock keeps
  // Members() instead.
  const StringList& Catalogue() const { return members_->List(); }
  std::shared_ptr<const MemberTable> Members() const { return members_; }
  // Staged changes (caller holds the lock): key = the exact path of the member a change applies
  // to, or the new member's path; record = StagedChange (StagedChange.h, owned by the Archive) or
  // null for a deletion. Discarded with the object, or by ClearPending.
  StringList& Pending() { return pending_; }
  // Drops every staged change and the spool.
  void ClearPending();
  // The delete-on-close file that small staged members' packed data is appended to, and its end
  // (caller holds the lock; NoFile until someone creates it).
  platform::FileHandle& Spool() { return spool_; }
  std::int64_t& SpoolEnd() { return spoolEnd_; }
  // A ticket no staging of this object had before.
  StageTicket NewTicket();
  // Whether a change staged since the last ClearPending gives a member a new path (a rename):
  // only then must a name check walk the staged list instead of looking its path up.
  void NoteRenameStaged() { renameStaged_ = true; }
  bool RenameStaged() const { return renameStaged_; }
  platform::FileHandle File() const { return file_; }
  // False when the file could be opened for reading only (read-only, or another program holds
  // it deny-write): no commit can change it.
  bool Writable() const { return writable_; }
  const char* Path() const { return path_; }
  // Makes the next Lock rescan (after the file was rewritten through this object).
  void ForceRescan() {
    stamp_ = platform::FileTime{0xFFFFFFFF, 0xFFFFFFFF};
    scanLocked_ = false;
  }
  // For a rewrite, under the whole-file lock: makes sure the catalogue describes the file as it
  // is. A scan made without the file lock may have seen another process's rewrite half-way, and
  // a last-write time that did not change since (its clock ticks coarsely) would not tell; such
  // a catalogue is scanned again. One scanned under the file lock stands while the file keeps
  // the last-write time and the size it had then. False when the file could not be read through
  // (or is no archive any more): nothing may be built on the catalogue then.
  bool RescanUnlessCurrent();
  // True when the last scan could not read the file through (a read error, or another handle
  // rewriting it): the catalogue is the one from before, and the next Lock scans again.
  bool ScanFailed() const { return scanFailed_; }
  // The commit journal's path: the archive's path with JournalSuffix; empty when that does not
  // fit a path buffer (such an archive cannot be changed).
  const char* JournalPath() const { return journalPath_; }
  static constexpr const char* JournalSuffix = ".tnj";
  // True when the file at Path() is still the file this object has open (another program may
  // have replaced it by a rename); false too when that cannot be told.
  bool PathStillNamesFile() const;

 private:
  ~Archive();  // through Release only
  // Rescans when the file's last-write time is not the one of the last scan (lock held).
  void RescanIfChanged();
  enum class ScanResult { Archive, NotArchive, Unreadable };
  // Scans the open file into a new catalogue; Unreadable leaves the old one in place,
  // NotArchive closes the file.
  ScanResult ScanFile();
  static bool ScanFrom(std::int64_t position, ByteSource& source, MemberTable* table);

  std::atomic<std::int32_t> refCount_{0};
  platform::FileHandle file_ = platform::NoFile;
  platform::MemoryBlock copyBuffer_ = platform::NoBlock;
  // Completes or discards a commit journal left beside the archive (whole-file lock held). False
  // when one remains that could not be applied: the file is then neither old nor new.
  bool RecoverJournal();

  std::mutex lockMutex_;
  std::condition_variable lockReleased_;
  std::uint32_t depth_ = 0;       // Locks of the owning thread not yet undone (under lockMutex_)
  std::uint32_t fileLocked_ = 0;  // depth at which the whole-file lock was taken, 0 when not held
  std::atomic<std::uint32_t> ownerThread_{0};
  std::shared_ptr<const MemberTable> members_;  // never null
  StringList pending_;
  platform::FileHandle spool_ = platform::NoFile;
  std::int64_t spoolEnd_ = 0;
  std::atomic<StageTicket> lastTicket_{0};
  bool renameStaged_ = false;  // under the lock
  platform::FileTime stamp_{0xFFFFFFFF, 0xFFFFFFFF};
  bool scanLocked_ = false;        // the catalogue's scan ran under the whole-file lock
  std::int64_t scannedSize_ = -1;  // the file's size at that scan
  bool scanFailed_ = false;
  bool writable_ = false;
  char path_[MaxPath] = "";
  char journalPath_[MaxPath] = "";
};
