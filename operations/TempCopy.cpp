#include "operations/TempCopy.h"

#include <cstdio>
#include <cstring>
#include <deque>
#include <utility>

#include "archive/Archive.h"
#include "archive/DecodeAhead.h"
#include "archive/ParallelStager.h"
#include "archive/PathName.h"
#include "archive/TargetPath.h"
#include "archive/TimeConversion.h"
#include "namespace/ModuleState.h"
#include "platform/Platform.h"

namespace {

// How many folder names are tried before MakeTempFolder gives up (the names mix the process id
// with the performance counter, so a name is taken only by chance or by a leftover).
constexpr int TempFolderAttempts = 64;

// The name part must name one file directly in the temporary folder.
bool IsPlainFileName(const char* name) {
  return name[0] && IsSafeMemberPath(name) && IsValidFileName(name) &&
         !std::strchr(name, '*') && !std::strchr(name, '?');
}

bool WriteAll(HANDLE file, const std::uint8_t* data, std::uint32_t size) {
  // Through the platform layer, whose writes tests can make fail like a full disk.
  const auto handle = reinterpret_cast<platform::FileHandle>(file);
  while (size > 0) {
    const std::uint32_t chunk = size < 0x1000000u ? size : 0x1000000u;
    if (!platform::WriteFile(handle, data, chunk)) return false;
    data += chunk;
    size -= chunk;
  }
  return true;
}

FILETIME ToFileTime(std::uint32_t seconds) {
  platform::FileTime time;
  UnixToFileTime(seconds, &time);
  return FILETIME{time.low, time.high};
}

// Writes the decoded member in `block` to the new file `target` as WriteCopyFile does.
bool WriteDecodedCopy(const char* target, platform::MemoryBlock block, const ArchiveEntry& entry) {
  // An empty member's block has no memory to lock (Windows locks a zero-size block as null).
  const auto* data = static_cast<const std::uint8_t*>(platform::LockBlock(block));
  const bool ok =
      (entry.originalSize == 0 || (data && platform::BlockSize(block) >= entry.originalSize)) &&
      WriteCopyFile(target, data, entry);
  if (data) platform::UnlockBlock(block);
  return ok;
}

// The body of WriteListedCopies: members decoded ahead on the pool, copies written in order.
void CopyListed(Archive& archive, std::vector<ListedCopy>& copies, unsigned threads) {
  DecodeAhead pool(archive, threads, threads == 0 ? ShellHandOffBytes : 0);
  // Copies whose member is queued, with its whole record as the catalogue holds it now.
  std::deque<std::pair<std::size_t, ArchiveEntry>> pending;
  for (std::size_t next = 0;;) {
    // The next records are read under one hold of the lock, half a window at a time; each must
    // still be at its place as listed (fixed fields, the header's offset among them).
    if (next < copies.size() && pending.size() <= pool.Window() / 2) {
      const bool locked = archive.Lock(true) != 0;
      for (; locked && next < copies.size() && pending.size() <= pool.Window(); ++next) {
        ArchiveEntry listed;
        if (!archive.GetMember(copies[next].index, &listed) ||
            std::memcmp(&listed, copies[next].listed, EntryBlockSize) != 0)
          continue;
        pending.emplace_back(next, listed);
        pool.Queue(copies[next].index, listed);
      }
      if (locked) archive.Unlock();
      else next = copies.size();  // another handle holds the file: no copies from it now
    }
    if (pending.empty()) return;
    ListedCopy& copy = copies[pending.front().first];
    const ArchiveEntry& listed = pending.front().second;
    platform::MemoryBlock block = platform::NoBlock;
    ArchiveEntry decoded;
    const int result = pool.Take(copy.index, listed, &block, &decoded);
    copy.written = result == 0 && block != platform::NoBlock &&
                   decoded.originalSize == listed.originalSize &&
                   WriteDecodedCopy(copy.target, block, listed);
    if (block != platform::NoBlock) platform::FreeBlock(block);
    pending.pop_front();
  }
}

}  // namespace

bool MakeTempFolder(char (&folder)[MAX_PATH]) {
  folder[0] = '\0';
  if (!TempDirectory[0]) return false;
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  const unsigned seed = (GetCurrentProcessId() * 0x9E3779B1u) ^ static_cast<unsigned>(now.QuadPart);
  for (int attempt = 0; attempt < TempFolderAttempts; ++attempt) {
    const unsigned tag = seed + static_cast<unsigned>(attempt) * 0x10F;
    if (std::snprintf(folder, sizeof folder, "%sTNV%05X", TempDirectory, tag & 0xFFFFF) >=
        static_cast<int>(sizeof folder) - 1)
      break;
    if (CreateDirectoryA(folder, nullptr))
      return JoinPath(folder, sizeof folder, folder, "", PathKind::Disk);
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  folder[0] = '\0';
  return false;
}

void RemoveTempFolder(const char* folder) {
  if (!folder || !folder[0]) return;
  char pattern[MAX_PATH];
  if (std::snprintf(pattern, sizeof pattern, "%s*", folder) >= static_cast<int>(sizeof pattern))
    return;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const char* name = found.cFileName;
      if (!std::strcmp(name, ".") || !std::strcmp(name, "..")) continue;
      char path[MAX_PATH];
      if (std::snprintf(path, sizeof path, "%s%s", folder, name) >= static_cast<int>(sizeof path))
        continue;
      SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
      const DWORD kind = found.dwFileAttributes;
      if ((kind & FILE_ATTRIBUTE_DIRECTORY) && !(kind & FILE_ATTRIBUTE_REPARSE_POINT)) {
        if (JoinPath(path, sizeof path, path, "", PathKind::Disk)) RemoveTempFolder(path);
      } else if (kind & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveDirectoryA(path);  // the link itself, not what it points to
      } else {
        DeleteFileA(path);
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(folder);
}

bool DecodeListedMemberInto(Archive& archive, std::uint32_t index, const ArchiveEntry& expected,
                            void* memory) {
  // Decoded at its place in the catalogue, never looked up again by path: a second member of the
  // same path is itself, and one that changed meanwhile (its fixed fields, the header's offset
  // among them, differ from what the caller listed) is no copy at all.
  ArchiveEntry listed;
  if (!archive.GetMember(index, &listed) ||
      std::memcmp(&listed, &expected, EntryBlockSize) != 0)
    return false;
  platform::MemoryBlock block = platform::NoBlock;
  ArchiveEntry decoded;
  if (archive.DecodeMemberAt(index, listed, &block, &decoded) != 0) return false;
  const bool ok = decoded.originalSize == expected.originalSize;
  if (ok && decoded.originalSize > 0) {
    const void* data = platform::LockBlock(block);
    if (data) std::memcpy(memory, data, decoded.originalSize);
    platform::UnlockBlock(block);
  }
  platform::FreeBlock(block);
  return ok;
}

void WriteListedCopies(Archive& archive, std::vector<ListedCopy>& copies, unsigned threads) {
  // Without workers, or with nothing to hand them, letting the lock go between members gains
  // nothing and costs a lock of the file per member: it is held across the copy.
  // A count asked for hands every member over; the shell's own choice only large ones.
  bool handOff = threads != 0;
  for (const ListedCopy& copy : copies) {
    ArchiveEntry listed;
    std::memcpy(&listed, copy.listed, EntryBlockSize);
    handOff = handOff || listed.originalSize >= ShellHandOffBytes;
  }
  const bool held = StageThreadCount(threads) < 2 || !handOff;
  if (held && !archive.Lock(true)) return;
  CopyListed(archive, copies, threads);
  if (held) archive.Unlock();
}

bool WriteCopyFile(const char* target, const std::uint8_t* data, const ArchiveEntry& entry) {
  HANDLE file = CreateFileA(target, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool ok = entry.originalSize == 0 || WriteAll(file, data, entry.originalSize);
  if (ok) {
    const FILETIME c = ToFileTime(entry.createTime), a = ToFileTime(entry.accessTime),
                   w = ToFileTime(entry.modifyTime);
    SetFileTime(file, &c, &a, &w);
  }
  CloseHandle(file);
  if (!ok) {
    DeleteFileA(target);
    return false;
  }
  // A new file already has the archive bit; only read-only, hidden and system need a call.
  if (entry.attributes & 0x07) SetFileAttributesA(target, entry.attributes & 0x27);
  return true;
}

bool WriteTempCopy(Archive& archive, const char* memberPath, ArchiveEntry* entry,
                   char (&path)[MAX_PATH]) {
  path[0] = '\0';
  const char* name = PathNamePart(memberPath);
  if (!IsPlainFileName(name)) return false;
  platform::MemoryBlock block = platform::NoBlock;
  if (archive.DecodeMember(memberPath, &block, entry) != 0) return false;
  char folder[MAX_PATH];
  bool ok = MakeTempFolder(folder) &&
            std::snprintf(path, sizeof path, "%s%s", folder, name) < static_cast<int>(sizeof path);
  ok = ok && WriteDecodedCopy(path, block, *entry);
  platform::FreeBlock(block);
  if (!ok) {
    if (folder[0]) RemoveTempFolder(folder);
    path[0] = '\0';
  }
  return ok;
}
