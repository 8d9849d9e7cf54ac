// Staging and committing changes of an archive.
//
// A commit first plans the new archive as a list of pieces (byte ranges of the old file kept as
// they are, headers, staged member data), so that its final length and every offset are known
// before a byte is written. Ranges that keep their offset are left where they are; everything
// else goes into the journal beside the archive, which is sealed and flushed before the archive
// is touched and then applied to it (CommitJournal.h).
#include "archive/ArchiveRewrite.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/CommitJournal.h"
#include "archive/Crc16.h"
#include "archive/Header.h"
#include "archive/HeaderFormat.h"
#include "archive/ImageWriter.h"
#include "archive/StagingOutput.h"
#include "archive/NoCase.h"
#include "archive/PathName.h"
#include "codec/ByteStream.h"
#include "codec/LzEncoder.h"
#include "platform/Platform.h"

using platform::FileHandle;
using platform::NoFile;

namespace {

constexpr std::uint16_t FolderAttribute = 0x10;
constexpr std::uint64_t MaxOriginalSize = 0xFFFFFFFFu;

bool IsFolderMethod(const ArchiveEntry& entry) { return std::memcmp(entry.method, "-lhd-", 5) == 0; }

// Counts what the encoder reads and notices read errors, which the encoder takes for the end of
// the input: a file that could not be read whole must not be staged as if it were shorter.
class CountingInput final : public codec::ByteInput {
 public:
  explicit CountingInput(FileHandle file) : file_(file) {}
  std::uint32_t Read(void* buffer, std::uint32_t count) override {
    std::uint32_t got = 0;
    if (!platform::ReadFile(file_, buffer, count, &got)) failed_ = true;
    total_ += got;
    return failed_ ? 0 : got;
  }
  bool failed() const override { return failed_; }
  std::uint64_t total() const { return total_; }

 private:
  FileHandle file_;
  std::uint64_t total_ = 0;
  bool failed_ = false;
};

// Copies `source` from its current position to its end into `out`; false on a read error
// (`*readFailed`) or a failed write.
bool StoreWhole(FileHandle source, StagingOutput& out, std::uint64_t* count, bool* readFailed) {
  std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[CopyChunk]);
  if (!buffer) return false;
  std::uint64_t total = 0;
  for (;;) {
    std::uint32_t got = 0;
    if (!platform::ReadFile(source, buffer.get(), CopyChunk, &got)) {
      *readFailed = true;
      return false;
    }
    if (got == 0) break;
    if (!out.Write(buffer.get(), got)) return false;
    total += got;
  }
  *count = total;
  return true;
}

StagedChange* ChangeAt(const StringList& list, std::uint32_t index) {
  void* record = nullptr;
  list.Get(index, nullptr, nullptr, &record);
  return static_cast<StagedChange*>(record);
}

// Where the packed data of `change` lies: its file and offset there.
FileHandle DataFile(Archive& archive, const StagedChange& change, std::int64_t* at) {
  *at = change.file != NoFile ? 0 : change.spoolAt;
  return change.file != NoFile ? change.file : archive.Spool();
}

// The pending key a change to the member `path` is filed under (lock held): a change staged for
// that member already, else the member of exactly that path, else one differing only in case.
std::string TargetKey(Archive& archive, const char* path) {
  const StringList& pending = archive.Pending();
  if (pending.FindExact(path) >= 0) return path;
  const StringList& catalogue = archive.Catalogue();
  if (catalogue.FindExact(path) >= 0) return path;
  const std::int32_t member = catalogue.FindNoCase(path);
  if (member < 0) return path;
  const char* key = nullptr;
  catalogue.Get(static_cast<std::uint32_t>(member), &key, nullptr, nullptr);
  return key;
}


// Files `change` (null: a deletion) under `key`, replacing what was staged there before. Lock
// held. False when memory is short (the change is then not filed and still the caller's).
bool FileChange(Archive& archive, const char* key, StagedChange* change) {
  StringList& pending = archive.Pending();
  const std::int32_t index = pending.FindExact(key);
  if (index < 0) return pending.Append(key, 0, change);
  StagedChange* old = ChangeAt(pending, static_cast<std::uint32_t>(index));
  if (!pending.Replace(static_cast<std::uint32_t>(index), key, 0, change)) return false;
  FreeStagedChange(old);
  return true;
}

struct Piece {
  enum Kind { OldBytes, Header, StagedData, EndMark } kind;
  std::int64_t from;      // OldBytes: offset in the old file; StagedData: in its data file
  std::int64_t length;    // bytes this piece takes in the new archive
  std::int64_t at;        // offset in the new archive
  ArchiveEntry* entry;    // Header, StagedData
  FileHandle file;        // StagedData
  bool stored;            // Header/StagedData of a "-lh0-" member: CRC computed while copying
};

std::int64_t HeaderLength(const ArchiveEntry& entry) {
  std::uint8_t buffer[lzh::HeaderBufferSize];
  return static_cast<std::int64_t>(WriteHeader(entry, buffer));
}

}  // namespace

bool PathTaken(Archive& archive, const char* path) {
  const StringList& pending = archive.Pending();
  // Changes are filed under their own path (or a case twin of it), so the hashed lookup finds
  // them; only a staged rename files a new path under its old one, and only then is the list
  // walked. A drop of many files checks each against everything staged: a walk per item would
  // make staging quadratic.
  for (const std::int32_t index : {pending.FindExact(path), pending.FindNoCase(path)})
    if (index >= 0 && ChangeAt(pending, static_cast<std::uint32_t>(index))) return true;
  for (std::uint32_t i = 0; archive.RenameStaged() && i < pending.Count(); ++i) {
    const StagedChange* change = ChangeAt(pending, i);
    if (!change) continue;
    char staged[EntryPathMax];
    EntryPath(change->entry, staged);
    if (CompareNoCase(staged, path) == 0) return true;
  }
  const StringList& catalogue = archive.Catalogue();
  const std::int32_t member = catalogue.FindNoCase(path);
  if (member < 0) return false;
  const char* key = nullptr;
  catalogue.Get(static_cast<std::uint32_t>(member), &key, nullptr, nullptr);
  const std::int32_t staged = pending.FindExact(key);
  return staged < 0 || ChangeAt(pending, static_cast<std::uint32_t>(staged)) != nullptr;
}

const char* RewriteFailureText(RewriteFailure failure) {
  switch (failure) {
    case RewriteFailure::None: return "no error";
    case RewriteFailure::Cancelled: return "cancelled";
    case RewriteFailure::SourceUnreadable: return "cannot read the file";
    case RewriteFailure::TooLarge: return "too large for an LZH archive (4 GiB file or 2 GiB archive limit)";
    case RewriteFailure::BadEntry: return "the path does not fit the header level";
    case RewriteFailure::NoTempFile: return "cannot write a temporary file (disk full?)";
    case RewriteFailure::Locked: return "the archive is read-only or locked by another program";
    case RewriteFailure::ArchiveRead: return "cannot read the archive";
    case RewriteFailure::ArchiveWrite:
      return "cannot write the archive (the change is completed when it is next opened)";
    case RewriteFailure::NotOpen: return "the archive is not open";
    case RewriteFailure::Collision: return "a member of that name is in the archive or being added";
    case RewriteFailure::DamagedTail:
      return "the archive's last member is cut short: nothing can be added after it";
    case RewriteFailure::Replaced: return "another program replaced the archive file meanwhile";
  }
  return "unknown error";
}

bool PrepareStage(ArchiveEntry* entry, const char* sourcePath, StagingOutput& output,
                  bool* folder, codec::ProgressCallback progress, void* context,
                  RewriteFailure* why) {
  *why = RewriteFailure::None;
  entry->crc = 0;
  entry->packedSize = 0;
  // A folder is what says "-lhd-", a path without a name, or a source that is a folder: attribute
  // 0x10 alone makes none (a file may carry it, and its data must not be lost).
  const std::uint32_t sourceAttributes =
      sourcePath ? platform::GetAttributes(sourcePath) : platform::InvalidAttributes;
  *folder = IsFolderMethod(*entry) || entry->name[0] == 0 ||
            (sourceAttributes != platform::InvalidAttributes &&
             (sourceAttributes & platform::AttrDirectory) != 0);
  if (*folder) {
    std::memcpy(entry->method, "-lhd-", 6);
    entry->attributes |= FolderAttribute;
    entry->originalSize = 0;
  } else {
    FileHandle source = platform::OpenFile(sourcePath, platform::OpenMode::ReadExisting);
    if (source == NoFile) {
      *why = RewriteFailure::SourceUnreadable;
      return false;
    }
    auto fail = [&](RewriteFailure reason) {
      platform::CloseFile(source);
      *why = reason;
      return false;
    };
    std::int64_t size = platform::FileSize(source);
    if (size < 0) return fail(RewriteFailure::SourceUnreadable);
    // The header keeps the original size in 32 bits.
    if (static_cast<std::uint64_t>(size) > MaxOriginalSize) return fail(RewriteFailure::TooLarge);
    char digit = entry->method[3];
    bool store = digit == '0';
    if (!store) {
      codec::LzEncoder encoder;
      CountingInput input(source);
      std::uint32_t packed = 0;
      std::uint16_t crc = 0;
      int result = encoder.Encode(output, input, digit - '0', &packed, &crc, progress, context);
      if (result == 2) return fail(encoder.valid() ? RewriteFailure::Cancelled
                                                   : RewriteFailure::NoTempFile);
      if (input.failed()) return fail(RewriteFailure::SourceUnreadable);
      if (output.failed()) return fail(RewriteFailure::NoTempFile);
      if (input.total() > MaxOriginalSize) return fail(RewriteFailure::TooLarge);
      if (result == 0 && packed < input.total()) {
        entry->packedSize = static_cast<std::int32_t>(packed);
        entry->originalSize = static_cast<std::uint32_t>(input.total());
        entry->crc = crc;
      } else {
        store = true;
      }
    }
    if (store) {
      std::memcpy(entry->method, "-lh0-", 6);
      if (!output.Rewind()) return fail(RewriteFailure::NoTempFile);
      if (platform::SeekFile(source, 0, platform::SeekFrom::Begin) != 0)
        return fail(RewriteFailure::SourceUnreadable);
      std::uint64_t copied = 0;
      bool readFailed = false;
      if (!StoreWhole(source, output, &copied, &readFailed))
        return fail(readFailed ? RewriteFailure::SourceUnreadable : RewriteFailure::NoTempFile);
      // Stored data is described by the signed packed size.
      if (copied >= static_cast<std::uint64_t>(MaxArchiveLength))
        return fail(RewriteFailure::TooLarge);
      entry->packedSize = static_cast<std::int32_t>(copied);
      entry->originalSize = static_cast<std::uint32_t>(copied);
    }
    platform::CloseFile(source);
  }
  if (HeaderLength(*entry) == 0) {
    *why = RewriteFailure::BadEntry;
    return false;
  }
  return true;
}

bool FilePrepared(Archive& archive, const ArchiveEntry& entry, bool folder,
                  StagingOutput& output, StageTicket* ticket, bool mustBeNew,
                  RewriteFailure* why) {
  std::unique_ptr<StagedChange> change(new (std::nothrow) StagedChange);
  if (!change || !archive.Lock(false)) {
    *why = RewriteFailure::NoTempFile;
    return false;
  }
  change->entry = entry;
  change->hasData = !folder;
  change->ticket = archive.NewTicket();
  char path[EntryPathMax];
  EntryPath(entry, path);
  bool ok = false;
  if (mustBeNew && PathTaken(archive, path)) {
    *why = RewriteFailure::Collision;
  } else if (folder || output.Hand(archive, change.get())) {
    const std::string key = TargetKey(archive, path);
    if (ticket) *ticket = change->ticket;
    ok = FileChange(archive, key.c_str(), change.get());
    if (ok) change.release();
    else *why = RewriteFailure::NoTempFile;
  } else {
    *why = RewriteFailure::NoTempFile;
  }
  archive.Unlock();
  return ok;
}

bool StageFile(Archive& archive, ArchiveEntry* entry, const char* sourcePath,
               codec::ProgressCallback progress, void* context, RewriteFailure* why,
               StageTicket* ticket, bool mustBeNew) {
  RewriteFailure dummy;
  if (!why) why = &dummy;
  StagingOutput output;
  bool folder = false;
  return PrepareStage(entry, sourcePath, output, &folder, progress, context, why) &&
         FilePrepared(archive, *entry, folder, output, ticket, mustBeNew, why);
}

bool StageEntry(Archive& archive, const char* memberPath, const ArchiveEntry& entry,
                StageTicket* ticket) {
  if (!memberPath || HeaderLength(entry) == 0) return false;
  std::unique_ptr<StagedChange> change(new (std::nothrow) StagedChange);
  if (!change || !archive.Lock(false)) return false;
  change->entry = entry;
  change->ticket = archive.NewTicket();
  StringList& pending = archive.Pending();
  const std::string key = TargetKey(archive, memberPath);
  const std::int32_t index = pending.FindExact(key.c_str());
  if (index >= 0) {
    // A header change of a member whose new data is staged already keeps that data.
    if (StagedChange* old = ChangeAt(pending, static_cast<std::uint32_t>(index))) {
      if (old->hasData) {
        change->hasData = true;
        change->spoolAt = old->spoolAt;
        change->file = old->file;
        old->file = NoFile;
        change->entry.packedSize = old->entry.packedSize;
        change->entry.originalSize = old->entry.originalSize;
        change->entry.crc = old->entry.crc;
        std::memcpy(change->entry.method, old->entry.method, sizeof change->entry.method);
      }
    }
  }
  if (ticket) *ticket = change->ticket;
  char path[EntryPathMax];
  EntryPath(entry, path);
  if (CompareNoCase(path, key.c_str()) != 0) archive.NoteRenameStaged();
  const bool ok = FileChange(archive, key.c_str(), change.get());
  if (ok) change.release();
  archive.Unlock();
  return ok;
}

bool MarkDeleted(Archive& archive, const char* memberPath, StageTicket* ticket) {
  if (!memberPath || !archive.Lock(false)) return false;
  // Resolved under the lock: a rescan replaces the catalogue.
  const std::string key = TargetKey(archive, memberPath);
  bool ok = archive.Catalogue().FindExact(key.c_str()) >= 0;
  if (ok) {
    // A deletion is a null record: the ticket that stands for it is not kept, so any owner may
    // take it back.
    if (ticket) *ticket = 0;
    ok = FileChange(archive, key.c_str(), nullptr);
  }
  archive.Unlock();
  return ok;
}

bool Unstage(Archive& archive, const char* memberPath, StageTicket ticket) {
  if (!memberPath || !memberPath[0] || !archive.Lock(false)) return false;
  StringList& pending = archive.Pending();
  std::int32_t index = pending.FindExact(memberPath);
  if (ticket != 0) {
    // A staging is filed under the member it applies to, which may differ in case from the path
    // its owner staged: the ticket finds it.
    const StagedChange* found =
        index < 0 ? nullptr : ChangeAt(pending, static_cast<std::uint32_t>(index));
    if (!found || found->ticket != ticket) {
      index = -1;
      for (std::uint32_t i = 0; i < pending.Count() && index < 0; ++i) {
        const StagedChange* change = ChangeAt(pending, i);
        if (change && change->ticket == ticket) index = static_cast<std::int32_t>(i);
      }
    }
  }
  if (index < 0) {
    archive.Unlock();
    return false;
  }
  // The list has no removal of its own: it is rebuilt without the node.
  struct Kept {
    std::string key;
    void* record;
  };
  std::vector<Kept> kept;
  bool ok = true;
  try {
    kept.reserve(pending.Count());
    for (std::uint32_t i = 0; i < pending.Count(); ++i) {
      const char* key = nullptr;
      void* record = nullptr;
      pending.Get(i, &key, nullptr, &record);
      if (i != static_cast<std::uint32_t>(index)) kept.push_back(Kept{key, record});
    }
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  FreeStagedChange(ChangeAt(pending, static_cast<std::uint32_t>(index)));
  if (!ok) {
    // No memory to rebuild the list: the node stays as one that matches nothing and writes
    // nothing.
    pending.Replace(static_cast<std::uint32_t>(index), "", 0, nullptr);
  } else {
    pending.Clear();
    for (const Kept& node : kept) {
      if (pending.Append(node.key.c_str(), 0, node.record)) continue;
      // Memory ran out half-way: what could not be put back is released, not leaked.
      FreeStagedChange(node.record);
    }
  }
  archive.Unlock();
  return true;
}

std::uint32_t MarkDeletedBelow(Archive& archive, const char* folderPath) {
  if (!archive.Lock(false)) return 0;
  const StringList& catalogue = archive.Catalogue();  // after Lock: a rescan replaces it
  std::vector<std::string> doomed;
  for (std::uint32_t i = 0; i < catalogue.Count(); ++i) {
    const char* key = nullptr;
    catalogue.Get(i, &key, nullptr, nullptr);
    // The folder itself (its entry ends with "\") and everything below it.
    if (IsBelowFolder(folderPath, key)) doomed.emplace_back(key);
  }
  archive.Unlock();
  std::uint32_t count = 0;
  for (const auto& key : doomed)
    if (MarkDeleted(archive, key.c_str())) ++count;
  return count;
}

namespace {

// The byte at `offset`, or -1 when it cannot be read.
int ByteAt(FileHandle file, std::int64_t offset) {
  std::uint8_t byte = 0;
  std::uint32_t got = 0;
  if (platform::SeekFile(file, offset, platform::SeekFrom::Begin) != offset ||
      !platform::ReadFile(file, &byte, 1, &got) || got != 1)
    return -1;
  return byte;
}

// Removes the journal file when it goes out of scope, unless it was kept (sealed but not yet
// applied: it must stay for the next holder of the whole-file lock).
struct JournalFile {
  explicit JournalFile(const char* path)
      : path(path), file(path[0] ? platform::OpenFile(path, platform::OpenMode::CreateAlways)
                                 : NoFile) {}
  ~JournalFile() {
    platform::CloseFile(file);
    if (file != NoFile && !keep) platform::RemoveFile(path);
  }
  const char* path;
  FileHandle file;
  bool keep = false;
};

bool CommitLocked(Archive& archive, JournalFile& journal, RewriteFailure* why,
                  std::uint32_t* dropped);

}  // namespace

bool Commit(Archive& archive, RewriteFailure* why, std::uint32_t* dropped) {
  RewriteFailure dummy;
  if (!why) why = &dummy;
  *why = RewriteFailure::None;
  std::uint32_t droppedDummy;
  if (!dropped) dropped = &droppedDummy;
  *dropped = 0;
  if (!archive.Lock(true)) {
    *why = archive.File() == NoFile ? RewriteFailure::NotOpen : RewriteFailure::Locked;
    return false;
  }
  bool ok = false;
  if (!archive.Writable()) {
    *why = RewriteFailure::Locked;  // read-only, or held deny-write: nothing was touched
  } else if (!archive.RescanUnlessCurrent()) {
    *why = archive.File() == NoFile ? RewriteFailure::NotOpen : RewriteFailure::ArchiveRead;
  } else if (!archive.PathStillNamesFile()) {
    // Another program put a new file at the path (a rename over it): what is written here
    // would go to a file nobody sees any more.
    *why = RewriteFailure::Replaced;
  } else {
    JournalFile journal(archive.JournalPath());
    if (journal.file == NoFile) *why = RewriteFailure::NoTempFile;
    else ok = CommitLocked(archive, journal, why, dropped);
  }
  archive.Unlock();
  return ok;
}

namespace {

bool CommitLocked(Archive& archive, JournalFile& journal, RewriteFailure* why,
                  std::uint32_t* dropped) {
  const FileHandle image = journal.file;
  StringList& pending = archive.Pending();
  const StringList& catalogue = archive.Catalogue();
  const FileHandle file = archive.File();
  if (file == NoFile) {
    *why = RewriteFailure::NotOpen;
    return false;
  }
  const std::int64_t oldLength = platform::FileSize(file);
  if (oldLength < 0) {
    *why = RewriteFailure::ArchiveRead;
    return false;
  }

  // Plan: the members the staged changes apply to, in file order. A change was filed under the
  // exact path of its member when it was staged; a member of another path (one differing in
  // case included) was never chosen and is left alone.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> matches;  // (member, staged node)
  for (std::uint32_t i = 0; i < pending.Count(); ++i) {
    const char* key = nullptr;
    pending.Get(i, &key, nullptr, nullptr);
    if (pending.FindExact(key) != static_cast<std::int32_t>(i)) continue;
    const std::int32_t member = catalogue.FindExact(key);
    if (member >= 0) matches.emplace_back(static_cast<std::uint32_t>(member), i);
  }
  std::sort(matches.begin(), matches.end());

  std::vector<Piece> pieces;
  std::vector<bool> used(pending.Count(), false);
  std::int64_t start = 0;  // old bytes still to copy from here, or -1: from the next header
  std::uint32_t nextMember = 0;  // the first member after the last one visited
  auto keep = [&](std::int64_t from, std::int64_t to) {
    if (to > oldLength) to = oldLength;
    if (to > from) pieces.push_back(Piece{Piece::OldBytes, from, to - from, 0, nullptr, NoFile, false});
  };
  auto addStaged = [&](StagedChange& change) {
    const bool stored = std::memcmp(change.entry.method, "-lh0-", 5) == 0;
    pieces.push_back(Piece{Piece::Header, 0, HeaderLength(change.entry), 0, &change.entry, NoFile,
                           stored && change.hasData});
    if (change.hasData) {
      std::int64_t from = 0;
      const FileHandle data = DataFile(archive, change, &from);
      pieces.push_back(Piece{Piece::StagedData, from, change.entry.packedSize, 0, &change.entry,
                             data, stored});
    }
  };
  // New members go after the last member; that member's data must be whole for them to be seen.
  bool appended = false;
  ArchiveEntry member;  // fixed fields only
  // Copying resumes at the header of the member after the last one visited.
  auto resume = [&]() {
    if (start >= 0 || nextMember >= catalogue.Count()) return true;
    if (!archive.GetMemberFixed(nextMember, &member)) return false;
    start = member.headerOffset;
    return true;
  };
  for (const auto& match : matches) {
    if (!resume() || !archive.GetMemberFixed(match.first, &member)) {
      *why = RewriteFailure::ArchiveRead;
      return false;
    }
    nextMember = match.first + 1;
    used[match.second] = true;
    keep(start, member.headerOffset);
    start = -1;
    StagedChange* change = ChangeAt(pending, match.second);
    if (!change) continue;  // deleted
    if (change->hasData) {
      addStaged(*change);
    } else {
      // A header-only change: the new header, then the old packed data as it was. The fields
      // that describe that data come from the member as it is now, whatever the record that was
      // staged said (a folder included: its data, if any, is kept too).
      ArchiveEntry& entry = change->entry;
      entry.packedSize = member.packedSize;
      entry.originalSize = member.originalSize;
      entry.crc = member.crc;
      std::memcpy(entry.method, member.method, sizeof member.method);
      pieces.push_back(Piece{Piece::Header, 0, HeaderLength(entry), 0, &entry, NoFile, false});
      start = member.dataOffset;
    }
  }
  if (!resume()) {
    *why = RewriteFailure::ArchiveRead;
    return false;
  }
  // Bytes after the last member's data (the closing zero byte, padding of transfers in 128-byte
  // blocks, a damaged header that ended the scan) stay in the file, but after the new closing
  // byte: new members written behind them would be invisible to every reader.
  std::int64_t tailStart = 0;
  bool lastCut = false;  // the last member kept as it was claims data past the file's end
  if (catalogue.Count() > 0) {
    if (!archive.GetMemberFixed(catalogue.Count() - 1, &member)) {
      *why = RewriteFailure::ArchiveRead;
      return false;
    }
    const std::int64_t claimedEnd =
        std::int64_t{member.dataOffset} + std::max<std::int32_t>(member.packedSize, 0);
    tailStart = std::min<std::int64_t>(oldLength, claimedEnd);
    // A last member that is deleted or gets new data leaves nothing of its cut data behind.
    const StagedChange* lastChange = nullptr;
    const bool lastChanged = !matches.empty() && matches.back().first == catalogue.Count() - 1;
    if (lastChanged) lastChange = ChangeAt(pending, matches.back().second);
    lastCut = claimedEnd > oldLength && !(lastChanged && (!lastChange || lastChange->hasData));
  }
  if (start >= 0) keep(start, tailStart);
  for (std::uint32_t i = 0; i < pending.Count(); ++i) {
    if (used[i]) continue;
    StagedChange* change = ChangeAt(pending, i);
    if (!change) continue;
    // A header-only change whose member has left the archive meanwhile: its header alone would
    // claim packed data that is not there, so it is not done.
    if (!change->hasData && !IsFolderMethod(change->entry)) {
      ++*dropped;
      continue;
    }
    addStaged(*change);
    appended = true;
  }
  if (appended && lastCut) {
    // Written where the cut member claims its data, a new header would be read by nobody.
    *why = RewriteFailure::DamagedTail;
    return false;
  }
  pieces.push_back(Piece{Piece::EndMark, 0, 1, 0, nullptr, NoFile, false});
  if (tailStart < oldLength) {
    // The old closing zero byte gives way to the new one; whatever followed it is kept as it was.
    const int first = ByteAt(file, tailStart);
    if (first < 0) {
      *why = RewriteFailure::ArchiveRead;
      return false;
    }
    keep(first == 0 ? tailStart + 1 : tailStart, oldLength);
  }

  // Lay the pieces out and check that every offset fits the headers' fields.
  std::int64_t at = 0;
  for (auto& piece : pieces) {
    if (piece.kind == Piece::Header && piece.length == 0) {
      *why = RewriteFailure::BadEntry;
      return false;
    }
    piece.at = at;
    at += piece.length;
  }
  const std::int64_t newLength = at;
  if (newLength > MaxArchiveLength) {
    *why = RewriteFailure::TooLarge;
    return false;
  }

  // Build the image: every piece that does not already stand at its place in the old file.
  struct AreaGuard {
    std::uint8_t* memory = static_cast<std::uint8_t*>(platform::AllocLarge(ImageWriter::AreaSize));
    ~AreaGuard() { platform::FreeLarge(memory, ImageWriter::AreaSize); }
  } area;
  if (!area.memory) {
    *why = RewriteFailure::NoTempFile;
    return false;
  }
  std::uint8_t* const buffer = area.memory;  // for direct copies, when the writer is flushed
  ImageWriter writer(image, file, area.memory);
  struct Span {
    std::int64_t imageAt, archiveAt, length;
  };
  std::vector<Span> spans;
  std::int64_t imageAt = 0;
  bool readFailed = false;
  auto imageFailure = [&]() {
    *why = readFailed ? RewriteFailure::ArchiveRead : RewriteFailure::NoTempFile;
    return false;
  };
  for (std::size_t p = 0; p < pieces.size(); ++p) {
    Piece& piece = pieces[p];
    if (piece.kind == Piece::OldBytes && piece.from == piece.at) continue;
    std::int64_t length = piece.length;
    if (piece.kind == Piece::Header && piece.stored) {
      // Stored data first: its CRC goes into the header in front of it.
      Piece& data = pieces[p + 1];
      std::uint16_t crc = 0;
      if (!writer.Flush() ||
          platform::SeekFile(image, imageAt + piece.length, platform::SeekFrom::Begin) < 0)
        return imageFailure();
      if (!CopyFileRange(data.file, data.from, data.length, image, buffer, &crc, &readFailed))
        return imageFailure();
      piece.entry->crc = crc;
      std::uint8_t header[lzh::HeaderBufferSize];
      if (platform::SeekFile(image, imageAt, platform::SeekFrom::Begin) != imageAt ||
          WriteHeader(*piece.entry, header) != static_cast<std::size_t>(piece.length) ||
          !platform::WriteFile(image, header, static_cast<std::uint32_t>(piece.length)))
        return imageFailure();
      length += data.length;
      ++p;
      if (platform::SeekFile(image, imageAt + length, platform::SeekFrom::Begin) < 0)
        return imageFailure();
    } else if (piece.kind == Piece::Header) {
      std::uint8_t header[lzh::HeaderBufferSize];
      if (WriteHeader(*piece.entry, header) != static_cast<std::size_t>(piece.length) ||
          !writer.Write(header, static_cast<std::uint32_t>(piece.length)))
        return imageFailure();
    } else if (piece.kind == Piece::StagedData) {
      if (!writer.Flush() ||
          !CopyFileRange(piece.file, piece.from, piece.length, image, buffer, nullptr,
                         &readFailed))
        return imageFailure();
    } else if (piece.kind == Piece::OldBytes) {
      if (!writer.CopyOld(piece.from, piece.length, &readFailed)) return imageFailure();
    } else {
      const std::uint8_t zero = 0;
      if (!writer.Write(&zero, 1)) return imageFailure();
    }
    if (!spans.empty() && spans.back().archiveAt + spans.back().length == piece.at)
      spans.back().length += length;
    else
      spans.push_back(Span{imageAt, piece.at, length});
    imageAt += length;
  }
  if (!writer.Flush()) return imageFailure();

  // Nothing has touched the archive so far. Seal the journal; from then on the commit is done
  // whatever happens, by this process or by whoever takes the whole-file lock next.
  JournalPlan plan;
  plan.oldLength = oldLength;
  plan.newLength = newLength;
  plan.imageLength = imageAt;
  try {
    plan.spans.reserve(spans.size());
  } catch (const std::bad_alloc&) {
    *why = RewriteFailure::NoTempFile;
    return false;
  }
  for (const Span& span : spans)
    plan.spans.push_back(JournalSpan{span.imageAt, span.archiveAt, span.length});
  if (!SealJournal(image, plan)) {
    *why = RewriteFailure::NoTempFile;
    return false;
  }
  // Space first: a disk too full for the new length is found before any old byte is overwritten,
  // and the commit can still be abandoned.
  if (!platform::ReserveFileSize(file, newLength)) {
    if (platform::SeekFile(file, oldLength, platform::SeekFrom::Begin) == oldLength)
      platform::SetEndOfFile(file);
    *why = RewriteFailure::NoTempFile;  // the disk is full; the archive is as it was
    return false;
  }
  archive.ForceRescan();
  journal.keep = true;
  bool applied = false;
  // A write that fails is tried again from the journal, which stays intact.
  for (int attempt = 0; attempt < 3 && !applied; ++attempt)
    applied = ApplyJournal(image, file, plan, buffer);
  if (!applied) {
    *why = RewriteFailure::ArchiveWrite;
    return false;
  }
  journal.keep = false;
  archive.ClearPending();
  return true;
}

}  // namespace
