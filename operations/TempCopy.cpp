#include "operations/TempCopy.h"

#include <cstdio>
#include <cstring>

#include "archive/Archive.h"
#include "archive/PathName.h"
#include "archive/TargetPath.h"
#include "archive/TimeConversion.h"
#include "namespace/ModuleState.h"
#include "platform/Platform.h"

namespace {

// The name part must name one file directly in the temporary directory.
bool IsPlainFileName(const char* name) {
  return name[0] && IsSafeMemberPath(name) && IsValidFileName(name) &&
         !std::strchr(name, '*') && !std::strchr(name, '?');
}

HANDLE CreateCopyFile(const char* name, char (&path)[MAX_PATH]) {
  const DWORD flags = FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL;
  if (std::snprintf(path, sizeof path, "%s%s", TempDirectory, name) < static_cast<int>(sizeof path)) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, flags, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
  }
  for (int counter = 0; counter < TempCopyNumberedNames; ++counter) {
    if (std::snprintf(path, sizeof path, "%s%03d%s", TempDirectory, counter, name) >=
        static_cast<int>(sizeof path))
      break;
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, flags, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
  }
  path[0] = '\0';
  return INVALID_HANDLE_VALUE;
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

}  // namespace

bool WriteTempCopy(Archive& archive, const char* memberPath, ArchiveEntry* entry,
                   char (&path)[MAX_PATH]) {
  path[0] = '\0';
  const char* name = PathNamePart(memberPath);
  if (!TempDirectory[0] || !IsPlainFileName(name)) return false;
  platform::MemoryBlock block = platform::NoBlock;
  if (archive.DecodeMember(memberPath, &block, entry) != 0) return false;
  HANDLE file = CreateCopyFile(name, path);
  if (file == INVALID_HANDLE_VALUE) {
    platform::FreeBlock(block);
    return false;
  }
  const auto* data = static_cast<const std::uint8_t*>(platform::LockBlock(block));
  // An empty member's block has no memory to lock (Windows locks a zero-size block as null).
  bool ok = entry->originalSize == 0 ||
            (data && platform::BlockSize(block) >= entry->originalSize &&
             WriteAll(file, data, entry->originalSize));
  if (data) platform::UnlockBlock(block);
  platform::FreeBlock(block);
  if (ok) {
    platform::FileTime create, access, write;
    UnixToFileTime(entry->createTime, &create);
    UnixToFileTime(entry->accessTime, &access);
    UnixToFileTime(entry->modifyTime, &write);
    FILETIME c = {create.low, create.high}, a = {access.low, access.high},
             w = {write.low, write.high};
    SetFileTime(file, &c, &a, &w);
  }
  CloseHandle(file);
  if (!ok) {
    DeleteFileA(path);
    path[0] = '\0';
    return false;
  }
  // A new file already has the archive bit; only read-only, hidden and system need a call.
  if (entry->attributes & 0x07) SetFileAttributesA(path, entry->attributes & 0x27);
  return true;
}
