// Staging and committing changes of an archive.
//
// A commit first plans the new archive as a list of pieces (byte ranges of the old file kept as
// they are, headers, staged member data), so that its final length and every offset are known
// before a byte is written. Ranges that keep their offset are left where they are; everything
// else goes into the image temporary file. Only when the image is complete is it copied over the
// archive, after the archive has been given the space for its new length.
#include "archive/ArchiveRewrite.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <unordered_set>
#include <vector>

#include "archive/Archive.h"
#include "archive/Crc16.h"
#include "archive/Header.h"
#include "archive/HeaderFormat.h"
#include "archive/ImageWriter.h"
#include "archive/PathName.h"
#include "codec/ByteStream.h"
#include "codec/LzEncoder.h"
#include "platform/Platform.h"

using platform::FileHandle;
using platform::NoFile;

namespace {

constexpr std::uint32_t CopyChunk = 0x40000;
constexpr std::uint16_t FolderAttribute = 0x10;
constexpr std::uint64_t MaxOriginalSize = 0xFFFFFFFFu;

bool IsFolderEntry(const ArchiveEntry& entry) {
  return (entry.attributes & FolderAttribute) != 0 || std::memcmp(entry.method, "-lhd-", 5) == 0;
}

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

class CheckedOutput final : public codec::ByteOutput {
 public:
  explicit CheckedOutput(FileHandle file) : file_(file) {}
  bool Write(const void* buffer, std::uint32_t count) override {
    if (!platform::WriteFile(file_, buffer, count)) failed_ = true;
    return !failed_;
  }
  bool failed() const { return failed_; }

 private:
  FileHandle file_;
  bool failed_ = false;
};

// Copies `source` from its current position to its end into `target`; every read and write is
// checked. Optional CRC of the bytes and their count.
bool CopyToEnd(FileHandle source, FileHandle target, std::uint8_t* buffer, std::uint64_t* count,
               std::uint16_t* crc, bool* readFailed) {
  std::uint64_t total = 0;
  std::uint16_t running = 0;
  for (;;) {
    std::uint32_t got = 0;
    if (!platform::ReadFile(source, buffer, CopyChunk, &got)) {
      *readFailed = true;
      return false;
    }
    if (got == 0) break;
    if (crc) running = UpdateCrc16(running, buffer, got);
    if (!platform::WriteFile(target, buffer, got)) return false;
    total += got;
  }
  if (count) *count = total;
  if (crc) *crc = running;
  return true;
}

// Copies exactly `length` bytes from `from` in `source` to the current position of `target`.
bool CopyRange(FileHandle source, std::int64_t from, std::int64_t length, FileHandle target,
               std::uint8_t* buffer, std::uint16_t* crc, bool* readFailed) {
  if (platform::SeekFile(source, from, platform::SeekFrom::Begin) != from) {
    *readFailed = true;
    return false;
  }
  std::uint16_t running = 0;
  while (length > 0) {
    std::uint32_t want = length < CopyChunk ? static_cast<std::uint32_t>(length) : CopyChunk;
    std::uint32_t got = 0;
    if (!platform::ReadFile(source, buffer, want, &got) || got != want) {
      *readFailed = true;
      return false;
    }
    if (crc) running = UpdateCrc16(running, buffer, got);
    if (!platform::WriteFile(target, buffer, got)) return false;
    length -= got;
  }
  if (crc) *crc = running;
  return true;
}

struct StagedNode {
  FileHandle file;
  ArchiveEntry* record;
};

StagedNode NodeAt(const StringList& list, std::uint32_t index) {
  std::uintptr_t data = 0;
  void* record = nullptr;
  list.Get(index, nullptr, &data, &record);
  return StagedNode{static_cast<FileHandle>(data), static_cast<ArchiveEntry*>(record)};
}

// One piece of the new archive.
struct Piece {
  enum Kind { OldBytes, Header, StagedData, EndMark } kind;
  std::int64_t from;    // OldBytes: offset in the old file
  std::int64_t length;  // bytes this piece takes in the new archive
  std::int64_t at;      // offset in the new archive
  ArchiveEntry* entry;  // Header, StagedData
  FileHandle file;      // StagedData
  bool stored;          // Header/StagedData of a "-lh0-" member: CRC computed while copying
};

std::int64_t HeaderLength(const ArchiveEntry& entry) {
  std::uint8_t buffer[lzh::HeaderBufferSize];
  return static_cast<std::int64_t>(WriteHeader(entry, buffer));
}

}  // namespace

const char* RewriteFailureText(RewriteFailure failure) {
  switch (failure) {
    case RewriteFailure::None: return "no error";
    case RewriteFailure::Cancelled: return "cancelled";
    case RewriteFailure::SourceUnreadable: return "cannot read the file";
    case RewriteFailure::TooLarge: return "too large for an LZH archive (4 GiB file or 2 GiB archive limit)";
    case RewriteFailure::BadEntry: return "the path does not fit the header level";
    case RewriteFailure::NoTempFile: return "cannot write a temporary file (disk full?)";
    case RewriteFailure::Locked: return "the archive is locked by another program";
    case RewriteFailure::ArchiveRead: return "cannot read the archive";
    case RewriteFailure::ArchiveWrite: return "cannot write the archive";
    case RewriteFailure::NotOpen: return "the archive is not open";
  }
  return "unknown error";
}

bool StageFile(Archive& archive, ArchiveEntry* entry, const char* sourcePath,
                        codec::ProgressCallback progress, void* context, RewriteFailure* why) {
  RewriteFailure dummy;
  if (!why) why = &dummy;
  *why = RewriteFailure::None;
  entry->crc = 0;
  entry->packedSize = 0;
  FileHandle temp = NoFile;
  if (IsFolderEntry(*entry)) {
    std::memcpy(entry->method, "-lhd-", 6);
    entry->attributes |= FolderAttribute;
    entry->originalSize = 0;
  } else {
    temp = platform::CreateTempFile();
    if (temp == NoFile) {
      *why = RewriteFailure::NoTempFile;
      return false;
    }
    FileHandle source = platform::OpenFile(sourcePath, platform::OpenMode::ReadExisting);
    if (source == NoFile) {
      platform::CloseFile(temp);
      *why = RewriteFailure::SourceUnreadable;
      return false;
    }
    auto fail = [&](RewriteFailure reason) {
      platform::CloseFile(source);
      platform::CloseFile(temp);
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
      CheckedOutput output(temp);
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
      if (platform::SeekFile(temp, 0, platform::SeekFrom::Begin) != 0 ||
          !platform::SetEndOfFile(temp))
        return fail(RewriteFailure::NoTempFile);
      if (platform::SeekFile(source, 0, platform::SeekFrom::Begin) != 0)
        return fail(RewriteFailure::SourceUnreadable);
      std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[CopyChunk]);
      if (!buffer) return fail(RewriteFailure::NoTempFile);
      std::uint64_t copied = 0;
      bool readFailed = false;
      if (!CopyToEnd(source, temp, buffer.get(), &copied, nullptr, &readFailed))
        return fail(readFailed ? RewriteFailure::SourceUnreadable : RewriteFailure::NoTempFile);
      // Stored data is described by the signed packed size.
      if (copied >= static_cast<std::uint64_t>(MaxArchiveLength))
        return fail(RewriteFailure::TooLarge);
      entry->packedSize = static_cast<std::int32_t>(copied);
      entry->originalSize = static_cast<std::uint32_t>(copied);
    }
    platform::CloseFile(source);
    if (platform::SeekFile(temp, 0, platform::SeekFrom::Begin) != 0) {
      platform::CloseFile(temp);
      *why = RewriteFailure::NoTempFile;
      return false;
    }
  }
  if (HeaderLength(*entry) == 0) {
    platform::CloseFile(temp);
    *why = RewriteFailure::BadEntry;
    return false;
  }
  auto* record = new (std::nothrow) ArchiveEntry(*entry);
  if (!record || !archive.Lock(false)) {
    delete record;
    platform::CloseFile(temp);
    *why = RewriteFailure::NoTempFile;
    return false;
  }
  char path[EntryPathMax];
  EntryPath(*entry, path);
  StringList& pending = archive.Pending();
  std::int32_t index = pending.FindExact(path);
  bool ok;
  if (index < 0) {
    ok = pending.Append(path, static_cast<std::uintptr_t>(temp), record);
  } else {
    StagedNode old = NodeAt(pending, static_cast<std::uint32_t>(index));
    platform::CloseFile(old.file);
    delete old.record;
    ok = pending.Replace(static_cast<std::uint32_t>(index), path,
                          static_cast<std::uintptr_t>(temp), record);
  }
  archive.Unlock();
  if (!ok) {
    delete record;
    platform::CloseFile(temp);
    *why = RewriteFailure::NoTempFile;
  }
  return ok;
}

bool StageEntry(Archive& archive, const char* memberPath, const ArchiveEntry& entry) {
  StringList& pending = archive.Pending();
  if (HeaderLength(entry) == 0) return false;
  if (!archive.Lock(false)) return false;
  std::int32_t index = memberPath ? pending.FindExact(memberPath) : -1;
  bool ok = true;
  if (index >= 0) {
    StagedNode node = NodeAt(pending, static_cast<std::uint32_t>(index));
    if (node.record) {
      *node.record = entry;
    } else {
      auto* record = new (std::nothrow) ArchiveEntry(entry);
      ok = record && pending.Replace(static_cast<std::uint32_t>(index), memberPath,
                                      static_cast<std::uintptr_t>(node.file), record);
      if (!ok) delete record;
    }
  } else {
    auto* record = new (std::nothrow) ArchiveEntry(entry);
    ok = record && pending.Append(memberPath, 0, record);
    if (!ok) delete record;
  }
  archive.Unlock();
  return ok;
}

bool MarkDeleted(Archive& archive, const char* memberPath) {
  StringList& pending = archive.Pending();
  if (!archive.Lock(false)) return false;
  // Taken under the lock: a rescan replaces the catalogue.
  if (archive.Catalogue().FindExactFirst(memberPath) < 0) {
    archive.Unlock();
    return false;
  }
  std::int32_t index = pending.FindExact(memberPath);
  bool ok;
  if (index >= 0) {
    StagedNode node = NodeAt(pending, static_cast<std::uint32_t>(index));
    platform::CloseFile(node.file);
    delete node.record;
    ok = pending.Replace(static_cast<std::uint32_t>(index), memberPath, 0, nullptr);
  } else {
    ok = pending.Append(memberPath, 0, nullptr);
  }
  archive.Unlock();
  return ok;
}

bool Unstage(Archive& archive, const char* memberPath) {
  if (!memberPath || !memberPath[0] || !archive.Lock(false)) return false;
  StringList& pending = archive.Pending();
  const std::int32_t index = pending.FindExact(memberPath);
  if (index < 0) {
    archive.Unlock();
    return false;
  }
  // The list has no removal of its own: it is rebuilt without the node (pending lists are short).
  struct Kept {
    std::string key;
    std::uintptr_t data;
    void* record;
  };
  std::vector<Kept> kept;
  bool ok = true;
  try {
    kept.reserve(pending.Count());
    for (std::uint32_t i = 0; i < pending.Count(); ++i) {
      const char* key = nullptr;
      std::uintptr_t data = 0;
      void* record = nullptr;
      pending.Get(i, &key, &data, &record);
      if (i != static_cast<std::uint32_t>(index)) kept.push_back(Kept{key, data, record});
    }
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  StagedNode gone = NodeAt(pending, static_cast<std::uint32_t>(index));
  platform::CloseFile(gone.file);
  delete gone.record;
  if (!ok) {
    // No memory to rebuild the list: the node stays as one that matches nothing and writes
    // nothing.
    pending.Replace(static_cast<std::uint32_t>(index), "", 0, nullptr);
  } else {
    pending.Clear();
    for (const Kept& node : kept) {
      if (pending.Append(node.key.c_str(), node.data, node.record)) continue;
      // Memory ran out half-way: what could not be put back is released, not leaked.
      platform::CloseFile(static_cast<FileHandle>(node.data));
      delete static_cast<ArchiveEntry*>(node.record);
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

// Releases what a successful commit has written out.
void DiscardPending(StringList& pending) {
  for (std::uint32_t i = 0; i < pending.Count(); ++i) {
    StagedNode node = NodeAt(pending, i);
    platform::CloseFile(node.file);
    delete node.record;
  }
  pending.Clear();
}

}  // namespace

namespace {
bool CommitLocked(Archive& archive, FileHandle image, RewriteFailure* why,
                  std::uint32_t* dropped);
}  // namespace

bool Commit(Archive& archive, RewriteFailure* why, std::uint32_t* dropped) {
  RewriteFailure dummy;
  if (!why) why = &dummy;
  *why = RewriteFailure::None;
  std::uint32_t droppedDummy;
  if (!dropped) dropped = &droppedDummy;
  *dropped = 0;
  if (!archive.Lock(false)) {
    *why = RewriteFailure::NotOpen;
    return false;
  }
  FileHandle image = platform::CreateTempFile();
  if (image == NoFile) {
    archive.Unlock();
    *why = RewriteFailure::NoTempFile;
    return false;
  }
  if (!archive.Lock(true)) {
    platform::CloseFile(image);
    *why = archive.File() == NoFile ? RewriteFailure::NotOpen : RewriteFailure::Locked;
    return false;
  }
  if (!archive.RescanUnlessCurrent()) {
    platform::CloseFile(image);
    *why = archive.File() == NoFile ? RewriteFailure::NotOpen : RewriteFailure::ArchiveRead;
    archive.Unlock();
    return false;
  }
  bool ok = CommitLocked(archive, image, why, dropped);
  platform::CloseFile(image);
  archive.Unlock();
  return ok;
}

namespace {

bool CommitLocked(Archive& archive, FileHandle image, RewriteFailure* why,
                  std::uint32_t* dropped) {
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

  // Plan: the members staged paths match, in file order. A staged path (its first node) stands
  // for the member of exactly its bytes or, when there is none, for the first member that differs
  // only in letter case and no other path claimed; a member is matched once. Only matched members
  // are visited, so a few changes to a large archive cost no walk over the whole catalogue.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> matches;  // (member, staged node)
  std::vector<std::uint32_t> caseless;
  std::unordered_set<std::uint32_t> claimed;
  for (std::uint32_t i = 0; i < pending.Count(); ++i) {
    const char* key = nullptr;
    pending.Get(i, &key, nullptr, nullptr);
    if (pending.FindExact(key) != static_cast<std::int32_t>(i)) continue;
    const std::int32_t member = catalogue.FindExact(key);
    if (member < 0) {
      caseless.push_back(i);
      continue;
    }
    matches.emplace_back(static_cast<std::uint32_t>(member), i);
    claimed.insert(static_cast<std::uint32_t>(member));
  }
  for (std::uint32_t i : caseless) {
    const char* key = nullptr;
    pending.Get(i, &key, nullptr, nullptr);
    const std::int32_t member = catalogue.FindNoCase(key);
    if (member >= 0 && claimed.insert(static_cast<std::uint32_t>(member)).second)
      matches.emplace_back(static_cast<std::uint32_t>(member), i);
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
  auto addStaged = [&](const StagedNode& node) {
    bool stored = std::memcmp(node.record->method, "-lh0-", 5) == 0;
    pieces.push_back(Piece{Piece::Header, 0, HeaderLength(*node.record), 0, node.record, NoFile,
                           stored && node.file != NoFile});
    if (node.file != NoFile)
      pieces.push_back(Piece{Piece::StagedData, 0, node.record->packedSize, 0, node.record,
                             node.file, stored});
  };
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
    StagedNode node = NodeAt(pending, match.second);
    if (!node.record) continue;  // deleted
    if (node.file != NoFile) {
      addStaged(node);
    } else {
      // A header-only change: the new header, then the old packed data as it was. The fields
      // that describe that data come from the member as it is now, whatever the record that was
      // staged said (a folder included: its data, if any, is kept too).
      node.record->packedSize = member.packedSize;
      node.record->originalSize = member.originalSize;
      node.record->crc = member.crc;
      std::memcpy(node.record->method, member.method, sizeof member.method);
      pieces.push_back(Piece{Piece::Header, 0, HeaderLength(*node.record), 0, node.record,
                             NoFile, false});
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
  if (catalogue.Count() > 0) {
    if (!archive.GetMemberFixed(catalogue.Count() - 1, &member)) {
      *why = RewriteFailure::ArchiveRead;
      return false;
    }
    tailStart = std::min<std::int64_t>(
        oldLength, std::int64_t{member.dataOffset} + std::max<std::int32_t>(member.packedSize, 0));
  }
  if (start >= 0) keep(start, tailStart);
  for (std::uint32_t i = 0; i < pending.Count(); ++i) {
    if (used[i]) continue;
    StagedNode node = NodeAt(pending, i);
    if (!node.record) continue;
    // A header-only change whose member has left the archive meanwhile: its header alone would
    // claim packed data that is not there, so it is not done.
    if (node.file == NoFile && std::memcmp(node.record->method, "-lhd-", 5) != 0) {
      ++*dropped;
      continue;
    }
    addStaged(node);
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
          platform::SeekFile(image, imageAt + piece.length, platform::SeekFrom::Begin) < 0 ||
          platform::SeekFile(data.file, 0, platform::SeekFrom::Begin) != 0)
        return imageFailure();
      if (!CopyRange(data.file, 0, data.length, image, buffer, &crc, &readFailed))
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
          !CopyRange(piece.file, 0, piece.length, image, buffer, nullptr, &readFailed))
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

  // Nothing has touched the archive so far. Give it room for the new length first, so that
  // copying the image cannot stop half-way for lack of space.
  if (!platform::ReserveFileSize(file, newLength)) {
    if (platform::SeekFile(file, oldLength, platform::SeekFrom::Begin) == oldLength)
      platform::SetEndOfFile(file);
    *why = RewriteFailure::ArchiveWrite;
    return false;
  }
  archive.ForceRescan();
  for (const Span& span : spans) {
    // A write that fails is tried again from the image, which stays intact; only an error that
    // persists leaves the archive part old, part new.
    bool copied = false;
    for (int attempt = 0; attempt < 3 && !copied; ++attempt) {
      readFailed = false;
      copied = platform::SeekFile(file, span.archiveAt, platform::SeekFrom::Begin) ==
                   span.archiveAt &&
               CopyRange(image, span.imageAt, span.length, file, buffer, nullptr, &readFailed);
    }
    if (!copied) {
      *why = RewriteFailure::ArchiveWrite;
      return false;
    }
  }
  if (newLength < oldLength) {
    // The new archive must be on the disk before the old tail goes: a crash in between then
    // leaves the new members followed by dead bytes, never a cut archive.
    platform::FlushFile(file);
    if (platform::SeekFile(file, newLength, platform::SeekFrom::Begin) != newLength ||
        !platform::SetEndOfFile(file)) {
      // The new archive is complete up to its zero byte; old bytes follow it.
      *why = RewriteFailure::ArchiveWrite;
    }
  }
  DiscardPending(pending);
  return true;
}

}  // namespace
