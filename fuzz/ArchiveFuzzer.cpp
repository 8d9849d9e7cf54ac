// A whole archive: the bytes become a file, an Archive scans it, and every member is decoded with
// both drivers (members claiming more than 256 KiB are skipped to keep one input quick).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "archive/Archive.h"
#include "archive/EntryEnumerator.h"
#include "platform/Platform.h"

namespace {

constexpr std::uint32_t MaxDecoded = 256u << 10;

const char* ScratchPath() {
  static char path[512];
  if (!path[0]) {
    char dir[400];
    if (!platform::TempDirectory(dir, sizeof dir)) std::strcpy(dir, "/tmp/");
    std::snprintf(path, sizeof path, "%stnfuzz-archive-%d.lzh", dir, int(getpid()));
  }
  return path;
}

bool WriteScratch(const std::uint8_t* data, std::size_t size) {
  platform::FileHandle file = platform::OpenFile(ScratchPath(), platform::OpenMode::CreateAlways);
  if (file == platform::NoFile) return false;
  const bool ok = size == 0 || platform::WriteFile(file, data, std::uint32_t(size));
  platform::CloseFile(file);
  return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!WriteScratch(data, size)) return 0;
  Archive* archive = new Archive;
  archive->Retain();
  if (archive->OpenFile(ScratchPath()) == ResultOk) {
    if (EntryEnumerator* snapshot = archive->EnumEntries()) {
      std::vector<ArchiveEntry> entries(snapshot->Count());
      std::uint32_t fetched = 0;
      snapshot->Next(std::uint32_t(entries.size()), entries.data(), &fetched);
      snapshot->Release();
      for (std::uint32_t i = 0; i < fetched; ++i) {
        char path[EntryPathMax];
        EntryPath(entries[i], path);
        // Paths may repeat: the drivers decode the first member of a path, so that one's size
        // decides whether it is skipped.
        std::uint32_t originalSize = 0xFFFFFFFF;
        if (archive->Lock(false)) {
          const std::int32_t index = archive->FindMember(path);
          ArchiveEntry first;
          if (index >= 0 && archive->GetMember(std::uint32_t(index), &first))
            originalSize = first.originalSize;
          archive->Unlock();
        }
        if (originalSize > MaxDecoded) continue;
        platform::MemoryBlock block = platform::NoBlock;
        ArchiveEntry decoded;
        const int result = archive->DecodeMember(path, &block, &decoded);
        if ((result == 0) != (block != platform::NoBlock)) __builtin_trap();
        if (block != platform::NoBlock) {
          if (platform::BlockSize(block) != decoded.originalSize) __builtin_trap();
          platform::FreeBlock(block);
        }
        // Exactly the member's size (never null, even when empty), so a write past it is caught.
        std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[originalSize]);
        if (archive->DecodeMemberInto(path, buffer.get(), nullptr) > 1) __builtin_trap();
        if (archive->OwnedByCurrentThread()) __builtin_trap();  // the lock was released
      }
    }
  }
  archive->Release();
  return 0;
}
