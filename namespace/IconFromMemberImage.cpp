#include "namespace/IconFromMemberImage.h"

#include <shellapi.h>

#include <cstdio>
#include <cstring>

#include "archive/Archive.h"
#include "archive/PathName.h"
#include "namespace/ModuleState.h"

namespace {

// Used instead of a member name that is not a plain file name.
constexpr const char* SafeImageName = "MEMBER.ICO";

constexpr DWORD TemporaryFileFlags =
    FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_SEQUENTIAL_SCAN;

bool IsReservedDeviceName(const char* name) {
  // The part before the first dot decides: "CON.ICO" opens the console on Windows.
  char stem[8] = "";
  std::size_t length = 0;
  while (name[length] && name[length] != '.' && name[length] != ' ') {
    if (length >= 4) return false;
    stem[length] = name[length];
    ++length;
  }
  stem[length] = '\0';
  static const char* const devices[] = {"CON", "PRN", "AUX", "NUL"};
  for (const char* device : devices)
    if (lstrcmpiA(stem, device) == 0) return true;
  if (length == 4 && (CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, stem, 3, "COM", 3) == 2 ||
                      CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, stem, 3, "LPT", 3) == 2))
    return stem[3] >= '0' && stem[3] <= '9';
  return false;
}

bool IsPlainFileName(const char* name) {
  if (!name[0] || !IsValidFileName(name)) return false;
  bool onlyDots = true;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p) {
    if (IsDBCSLeadByte(*p) && p[1]) {
      ++p;
      onlyDots = false;
      continue;
    }
    if (*p < 0x20 || *p == '*' || *p == '?' || *p == '"') return false;
    if (*p != '.') onlyDots = false;
  }
  return !onlyDots && !IsReservedDeviceName(name);
}

HANDLE CreateImageFile(const char* path) {
  return CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, TemporaryFileFlags, nullptr);
}

// Creates a new file in the temporary folder under the member's name, or under a counter-prefixed
// form of it when that is taken. The search ends after TemporaryNameAttempts names.
HANDLE CreateTemporaryImage(const char* name, char* path, std::size_t size) {
  if (std::snprintf(path, size, "%s%s", TempDirectory, name) >= static_cast<int>(size))
    return INVALID_HANDLE_VALUE;
  HANDLE file = CreateImageFile(path);
  for (int counter = 0; file == INVALID_HANDLE_VALUE && counter < TemporaryNameAttempts - 1;
       ++counter) {
    if (std::snprintf(path, size, "%s%03d%s", TempDirectory, counter, name) >=
        static_cast<int>(size))
      return INVALID_HANDLE_VALUE;
    file = CreateImageFile(path);
  }
  return file;
}

bool WriteAll(HANDLE file, const unsigned char* data, std::size_t size) {
  while (size > 0) {
    DWORD chunk = size > 0x1000000 ? 0x1000000 : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(file, data, chunk, &written, nullptr) || written != chunk) return false;
    data += chunk;
    size -= chunk;
  }
  return true;
}

}  // namespace

void TemporaryImageName(const char* memberPath, char* out, std::size_t size) {
  const char* name = PathNamePart(memberPath);
  if (!IsPlainFileName(name)) name = SafeImageName;
  CopyCut(out, size, name, std::strlen(name));
}

HRESULT IconFromMemberImage(Archive& archive, const char* memberPath, HICON* large,
                            HICON* small) {
  if (large) *large = nullptr;
  if (small) *small = nullptr;
  platform::MemoryBlock block = platform::NoBlock;
  ArchiveEntry entry;
  if (archive.DecodeMember(memberPath, &block, &entry) != 0 || block == platform::NoBlock) {
    if (block != platform::NoBlock) platform::FreeBlock(block);
    return E_UNEXPECTED;
  }
  char name[MAX_PATH];
  TemporaryImageName(memberPath, name, sizeof name);
  char path[MAX_PATH];
  HANDLE file = CreateTemporaryImage(name, path, sizeof path);
  if (file == INVALID_HANDLE_VALUE) {
    platform::FreeBlock(block);
    return E_UNEXPECTED;
  }
  // The member's size comes from the catalogue record the decoder used, bounded by the block: the
  // size copied in the identifier is not trusted for how much to write.
  std::size_t size = platform::BlockSize(block);
  if (entry.originalSize < size) size = entry.originalSize;
  const auto* data = static_cast<const unsigned char*>(platform::LockBlock(block));
  bool ok = data && WriteAll(file, data, size);
  if (data) platform::UnlockBlock(block);
  CloseHandle(file);
  platform::FreeBlock(block);
  if (ok) {
    // Read from the icon file itself. Asking the shell for the file's icon gives its own picture
    // only where the icon file type is registered to show it ("%1"), which not every shell does.
    HICON largeIcon = nullptr, smallIcon = nullptr;
    if (ExtractIconExA(path, 0, large ? &largeIcon : nullptr, small ? &smallIcon : nullptr, 1) ==
        0)
      ok = false;
    if (large) *large = largeIcon;
    if (small) *small = smallIcon;
  }
  DeleteFileA(path);
  return ok ? S_OK : E_UNEXPECTED;
}
