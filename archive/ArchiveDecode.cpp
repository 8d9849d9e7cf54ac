// The member drivers: every consumer of member contents reads a member through these, so the
// locking rules and the checks of the decoded data live in one place.
#include <cstring>
#include <new>

#include "archive/Archive.h"
#include "archive/Crc16.h"
#include "archive/Header.h"
#include "codec/BitReader.h"
#include "codec/Decoder.h"

namespace {

constexpr int DriverOk = 0;
constexpr int DriverFailed = 1;
constexpr int DriverOutOfMemory = 2;

// Method digit of the identifiers the decoder handles: "-lh0-" stored, "-lh4-".."-lh7-"
// compressed. Whole strings are compared, so "-lhd-", "-lh1-".."-lh3-" and anything else is -1.
int DecodableMethod(const char (&method)[6]) {
  static const char* const known[] = {"-lh0-", "-lh4-", "-lh5-", "-lh6-", "-lh7-"};
  static const int digits[] = {0, 4, 5, 6, 7};
  for (int i = 0; i < 5; ++i) {
    if (std::memcmp(method, known[i], 6) == 0) return digits[i];
  }
  return -1;
}

// Releases whatever the driver holds on the archive file: the position of a caller that holds
// the lock is put back, a lock taken by the driver is released.
class FileHold {
 public:
  // `readDone` (may be null) is called once, when the hold is released or given up: the file is
  // not read again after it.
  FileHold(Archive& archive, void (*readDone)(void*), void* context)
      : archive_(archive), readDone_(readDone), context_(context) {}
  ~FileHold() { Release(); }
  FileHold(const FileHold&) = delete;
  FileHold& operator=(const FileHold&) = delete;

  bool Take() {
    underCallersLock_ = archive_.OwnedByCurrentThread();
    if (underCallersLock_) {
      held_ = true;
      return true;
    }
    held_ = archive_.Lock(true) != 0;
    return held_;
  }
  // Called just before the first seek when working under the caller's lock.
  bool SavePosition() {
    if (!underCallersLock_ || savedPosition_ >= 0) return true;
    savedPosition_ = platform::SeekFile(archive_.File(), 0, platform::SeekFrom::Current);
    return savedPosition_ >= 0;
  }
  void Release() {
    if (held_) {
      held_ = false;
      if (!underCallersLock_) {
        archive_.Unlock();
      } else if (savedPosition_ >= 0) {
        platform::SeekFile(archive_.File(), savedPosition_, platform::SeekFrom::Begin);
      }
    }
    if (readDone_) {
      void (*readDone)(void*) = readDone_;
      readDone_ = nullptr;
      readDone(context_);
    }
  }

 private:
  Archive& archive_;
  void (*readDone_)(void*);
  void* context_;
  bool underCallersLock_ = false;
  bool held_ = false;
  std::int64_t savedPosition_ = -1;
};

// Reads exactly `count` bytes at `offset`; false when the file has fewer or fails.
bool ReadAt(platform::FileHandle file, std::int64_t offset, void* buffer, std::uint32_t count) {
  if (platform::SeekFile(file, offset, platform::SeekFrom::Begin) != offset) return false;
  std::uint32_t got = 0;
  return platform::ReadFile(file, buffer, count, &got) && got == count;
}

// Which member to decode: by path (the first that matches), or by place as a snapshot saw it.
struct MemberRequest {
  const char* path = nullptr;
  std::uint32_t index = 0;
  const ArchiveEntry* expected = nullptr;
  void (*readDone)(void*) = nullptr;
  void* readContext = nullptr;
};

// Where the decoded member goes: the caller's buffer, or a new block allocated once the member's
// size is known.
struct OutputRequest {
  void* buffer = nullptr;                  // DecodeMemberInto
  platform::MemoryBlock* block = nullptr;  // DecodeMember
};

// The shared body of both drivers.

int DecodeInto(Archive& archive, MemberRequest member, OutputRequest request,
               ArchiveEntry* entryOut) {
  FileHold hold(archive, member.readDone, member.readContext);
  if (request.block) *request.block = platform::NoBlock;
  if ((!member.path && !member.expected) || archive.File() == platform::NoFile) return DriverFailed;

  // The catalogue may be rescanned once the lock is released: work on a copy of the record.
  ArchiveEntry entry;
  if (member.expected) {
    // A member addressed by place is read only from a file that another handle is not
    // rewriting, against a catalogue scanned from the file as it is now; the header is read once
    // more because a rewrite within one tick of the file clock may keep time and size.
    // (RescanUnlessCurrent refuses a caller's lock held without the whole-file lock.)
    if (!hold.Take() || !archive.RescanUnlessCurrent()) return Archive::DecodeChanged;
    ArchiveEntry onDisk;
    if (!archive.GetMember(member.index, &entry) || !SameMember(entry, *member.expected) ||
        !hold.SavePosition() ||
        ReadHeader(archive.File(), entry.headerOffset, &onDisk) <= 0 ||
        !SameMember(onDisk, entry)) {
      return Archive::DecodeChanged;
    }
  } else {
    if (!hold.Take()) return DriverFailed;
    const std::int32_t index = archive.FindMember(member.path);
    if (index < 0 || !archive.GetMember(std::uint32_t(index), &entry)) return DriverFailed;
  }
  const int method = DecodableMethod(entry.method);
  if (method < 0 || entry.packedSize < 0 || entry.dataOffset < 0) return DriverFailed;

  // Data the file does not hold is refused before any buffer is sized by it: a header may claim
  // gigabytes of packed data.
  const std::uint32_t toRead = method == 0 ? entry.originalSize : std::uint32_t(entry.packedSize);
  const std::int64_t fileSize = platform::FileSize(archive.File());
  if (fileSize < 0 || std::int64_t{entry.dataOffset} + toRead > fileSize) return DriverFailed;

  platform::MemoryBlock block = platform::NoBlock;
  std::uint8_t* output = static_cast<std::uint8_t*>(request.buffer);
  if (request.block) {
    block = platform::AllocBlock(entry.originalSize, false);
    if (block == platform::NoBlock) return DriverOutOfMemory;
    output = static_cast<std::uint8_t*>(platform::LockBlock(block));
    if (!output && entry.originalSize != 0) {
      platform::FreeBlock(block);
      return DriverOutOfMemory;
    }
  }
  // Frees the block unless it is handed out.
  struct BlockGuard {
    platform::MemoryBlock block;
    ~BlockGuard() {
      if (block != platform::NoBlock) {
        platform::UnlockBlock(block);
        platform::FreeBlock(block);
      }
    }
  } guard{block};

  int result = DriverOk;
  if (method == 0) {
    // Stored: the data is the member. Packed bytes beyond the original size are not read (they
    // would not fit the output); fewer than the original size mean the member is damaged.
    if (std::uint32_t(entry.packedSize) < entry.originalSize) return DriverFailed;
    if (entry.originalSize != 0 &&
        (!hold.SavePosition() ||
         !ReadAt(archive.File(), entry.dataOffset, output, entry.originalSize))) {
      return DriverFailed;
    }
    hold.Release();
  } else {
    const std::uint32_t packedSize = std::uint32_t(entry.packedSize);
    // A block, not the heap: a large one gets the platform's large pages, which matters as much
    // as the decoder's speed for members of megabytes.
    const platform::MemoryBlock packedBlock =
        platform::AllocBlock(std::size_t{packedSize} + codec::ReaderLookahead, false);
    auto* packed = static_cast<std::uint8_t*>(platform::LockBlock(packedBlock));
    auto* work = new (std::nothrow) std::uint32_t[codec::DecodeWorkSize / sizeof(std::uint32_t)];
    if (!packed || !work) {
      if (packedBlock != platform::NoBlock) platform::FreeBlock(packedBlock);
      delete[] work;
      return DriverOutOfMemory;
    }
    const bool read =
        hold.SavePosition() && ReadAt(archive.File(), entry.dataOffset, packed, packedSize);
    // The lock covers the read only, never the decoding.
    hold.Release();
    if (read) {
      std::memset(packed + packedSize, 0, codec::ReaderLookahead);
      if (codec::DecodeStream(output, packed, packedSize, method, entry.originalSize, work) !=
          codec::DecodeOk) {
        result = DriverFailed;
      }
    } else {
      result = DriverFailed;
    }
    delete[] work;
    platform::UnlockBlock(packedBlock);
    platform::FreeBlock(packedBlock);
  }
  if (entryOut) *entryOut = entry;
  if (result == DriverOk && ComputeCrc16(output, entry.originalSize) != entry.crc) {
    result = DriverFailed;
  }
  if (result == DriverOk && request.block) {
    platform::UnlockBlock(block);
    guard.block = platform::NoBlock;
    *request.block = block;
  }
  return result;
}

}  // namespace

int Archive::DecodeMember(const char* path, platform::MemoryBlock* block, ArchiveEntry* entry) {
  if (!block) return DriverFailed;
  OutputRequest request;
  request.block = block;
  MemberRequest member;
  member.path = path;
  return DecodeInto(*this, member, request, entry);
}

int Archive::DecodeMemberInto(const char* path, void* buffer, ArchiveEntry* entry) {
  if (!buffer) return DriverFailed;
  OutputRequest request;
  request.buffer = buffer;
  MemberRequest member;
  member.path = path;
  return DecodeInto(*this, member, request, entry);
}

int Archive::DecodeMemberAt(std::uint32_t index, const ArchiveEntry& expected,
                            platform::MemoryBlock* block, ArchiveEntry* entry,
                            void (*readDone)(void*), void* context) {
  if (!block) {
    if (readDone) readDone(context);
    return DriverFailed;
  }
  OutputRequest request;
  request.block = block;
  MemberRequest member;
  member.index = index;
  member.expected = &expected;
  member.readDone = readDone;
  member.readContext = context;
  return DecodeInto(*this, member, request, entry);
}
