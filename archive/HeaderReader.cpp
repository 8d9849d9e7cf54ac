// Header reader. Every size and length is checked against what has been read and what the source
// holds before it is used: a damaged header ends the catalogue, it never makes the reader look
// outside its buffers, allocate without bound, or go backwards.
#include <cstring>

#include "archive/Header.h"
#include "archive/HeaderFormat.h"
#include "archive/PathName.h"
#include "archive/TimeConversion.h"

namespace {

using namespace lzh;

constexpr std::int64_t MaxPosition = 0x7FFFFFFF;
constexpr std::int64_t Level2HeaderMax = 0xFFFF;
// Longest part of an extended header's data that is looked at: enough for every field it can
// fill (a comment of 1023 bytes, a folder of 259 after a leading backslash).
constexpr std::uint32_t ExtendedDataKept = 2048;

inline std::uint16_t U16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t U32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
         (std::uint32_t{p[3]} << 24);
}

bool ReadExactly(ByteSource& source, std::int64_t position, void* buffer, std::uint32_t count) {
  std::uint32_t got = 0;
  return source.ReadAt(position, buffer, count, &got) && got == count;
}

// MS-DOS local date and time as seconds since 1970; 0 when the date is impossible.
std::uint32_t DosToUnix(std::uint16_t date, std::uint16_t time) {
  platform::FileTime utc;
  if (!DosToFileTime(date, time, &utc)) return 0;
  return FileTimeToUnix(utc);
}

// A type-0x02 folder: components each followed by 0xFF. Backslashes in, one leading backslash
// dropped, cut to the field on a character boundary. Some writers leave out the 0xFF after the
// last component; the folder still ends with a backslash here, or directory + name would run the
// last folder and the file name together.
void CopyFolder(char (&out)[EntryFieldMax + 1], std::uint8_t* data, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i)
    if (data[i] == DirectorySeparator) data[i] = '\\';
  const char* text = reinterpret_cast<const char*>(data);
  if (length > 0 && IsPathSeparator(text[0])) {
    ++text;
    --length;
  }
  std::size_t n = CopyCut(out, sizeof out, text, length);
  if (n == 0 || PathFolderLength(out) == n) return;
  n = CharBoundaryCut(out, n, EntryFieldMax - 1);
  out[n] = '\\';
  out[n + 1] = '\0';
}

void ApplyExtended(ArchiveEntry* entry, std::uint8_t type, std::uint8_t* data, std::size_t length) {
  const char* text = reinterpret_cast<const char*>(data);
  switch (type) {
    case ExtFileName:
      CopyCut(entry->name, sizeof entry->name, text, length);
      break;
    case ExtDirectory:
      CopyFolder(entry->directory, data, length);
      break;
    case ExtComment:
      CopyCut(entry->comment, sizeof entry->comment, text, length);
      break;
    case ExtAttribute:
      if (length >= 2) entry->attributes = U16(data);
      break;
    case ExtUnixTime:
      if (length >= 4) entry->modifyTime = U32(data);
      break;
    case ExtWindowsAttributes:
      if (length >= WindowsAttributesData) {
        entry->attributes = U16(data);
        entry->createTime = U32(data + 8);
        entry->accessTime = U32(data + 12);
      }
      break;
    default:  // the header CRC (not verified) and types this system does not use
      break;
  }
}

}  // namespace

std::int64_t ReadHeader(ByteSource& source, std::int64_t position, ArchiveEntry* entry) {
  std::memset(entry, 0, sizeof *entry);
  if (position < 0 || position > MaxPosition) return 0;

  // Base header: at most 257 bytes (level 0/1: S + 2 with S < 256).
  std::uint8_t base[MaxSizeByte + 2];
  if (!ReadExactly(source, position, base, CommonSize) || base[0] == 0) return 0;
  const std::uint8_t level = base[OffsetLevel];
  if (level > 3) return 0;

  entry->headerLevel = level;
  entry->headerOffset = static_cast<std::int32_t>(position);
  std::memcpy(entry->method, base + OffsetMethod, MethodLength);
  std::uint32_t packedField = U32(base + OffsetPackedSize);
  entry->originalSize = U32(base + OffsetOriginalSize);
  entry->attributes = base[OffsetAttribute];

  std::int64_t running = 0;      // where the next extended header starts
  std::uint32_t nextSize = 0;    // size of the next extended header
  std::int64_t headerEnd = -1;   // level 2/3: position + the header's own total size
  std::int64_t dataOffset = 0;

  if (level <= 1) {
    // S counts the bytes after offset 1; N the path (level 0) or name (level 1) at 22. S must hold
    // N and the fields after it: CRC (level 0); CRC, OS id and first extended size (level 1).
    const std::size_t s = base[0];
    const std::size_t fixed = level == 0 ? Level0Fixed : Level1Fixed;
    if (s < fixed || !ReadExactly(source, position + CommonSize, base + CommonSize,
                                  static_cast<std::uint32_t>(s + 2 - CommonSize)))
      return 0;
    const std::size_t n = base[OffsetPathLength];
    if (s < n + fixed) return 0;
    const char* path = reinterpret_cast<const char*>(base + OffsetPath);
    std::uint32_t seconds = DosToUnix(U16(base + OffsetDate), U16(base + OffsetTime));
    entry->createTime = entry->modifyTime = entry->accessTime = seconds;
    entry->crc = U16(base + OffsetPath + n);
    if (level == 0) {
      // The folder part ends at the last backslash that is not the second byte of a double-byte
      // character (a Shift-JIS name holding 0x95 0x5C stays whole).
      char joined[MaxSizeByte + 1];
      std::memcpy(joined, path, n);
      joined[n] = '\0';
      std::size_t folder = PathFolderLength(joined);
      CopyCut(entry->directory, sizeof entry->directory, joined, folder);
      CopyCut(entry->name, sizeof entry->name, joined + folder, n - folder);
      entry->osId = 0;
      dataOffset = position + s + 2;
    } else {
      CopyCut(entry->name, sizeof entry->name, path, n);
      entry->osId = base[OffsetPath + n + 2];
      nextSize = U16(base + s);
      running = position + s + 2;
    }
  } else if (level == 2) {
    if (!ReadExactly(source, position + CommonSize, base + CommonSize, Level2Base - CommonSize))
      return 0;
    entry->createTime = entry->modifyTime = entry->accessTime = U32(base + OffsetTime);
    entry->crc = U16(base + OffsetCrc);
    entry->osId = base[OffsetOsId];
    nextSize = U16(base + OffsetLevel2FirstSize);
    running = position + Level2Base;
    headerEnd = position + U16(base);
  } else {
    if (!ReadExactly(source, position + CommonSize, base + CommonSize, Level3Base - CommonSize))
      return 0;
    entry->createTime = entry->modifyTime = entry->accessTime = U32(base + OffsetTime);
    entry->crc = U16(base + OffsetCrc);
    entry->osId = base[OffsetOsId];
    nextSize = U32(base + OffsetLevel3FirstSize);
    running = position + Level3Base;
    headerEnd = position + U32(base + OffsetLevel3TotalSize);
  }

  if (level >= 1) {
    const std::uint32_t width = level == 3 ? 4 : 2;
    const std::uint32_t fixed = 1 + width;
    const std::int64_t fileSize = source.Size();
    std::int64_t extendedTotal = 0;
    std::uint8_t data[ExtendedDataKept + 4];
    while (nextSize != 0) {
      // Each extended header holds at least its type and the next size and lies inside the file;
      // a level-2 header cannot be longer than its 16-bit size allows.
      if (nextSize < fixed) return 0;
      const std::int64_t end = running + nextSize;
      if (fileSize >= 0 && end > fileSize) return 0;
      if (level == 2 && end > position + Level2HeaderMax) return 0;
      if (end > MaxPosition) return 0;
      // Read the type and the data that matters, then the trailing size on its own, so that a huge
      // extended header costs no more memory than a small one.
      const std::uint32_t length = nextSize - fixed;
      const std::uint32_t kept = length < ExtendedDataKept ? length : ExtendedDataKept;
      std::uint8_t sizeField[4];
      if (!ReadExactly(source, running, data, 1 + kept) ||
          !ReadExactly(source, end - width, sizeField, width))
        return 0;
      ApplyExtended(entry, data[0], data + 1, kept);
      extendedTotal += nextSize;
      running = end;
      nextSize = width == 4 ? U32(sizeField) : U16(sizeField);
    }
    if (level == 1) {
      // The packed size field counts the extended headers too.
      std::int64_t packed = static_cast<std::int64_t>(packedField) - extendedTotal;
      if (packed < 0) return 0;
      packedField = static_cast<std::uint32_t>(packed);
      dataOffset = running;
    } else {
      // The data follows the declared header size (which may count a pad byte). Some writers
      // leave the closing size field out of that total: the data cannot start inside the
      // extended headers just read, so it starts after them.
      dataOffset = headerEnd >= running ? headerEnd : running;
    }
  }

  if (packedField > static_cast<std::uint32_t>(MaxPosition) || dataOffset > MaxPosition ||
      dataOffset + packedField > MaxPosition)
    return 0;
  entry->packedSize = static_cast<std::int32_t>(packedField);
  entry->dataOffset = static_cast<std::int32_t>(dataOffset);
  entry->headerSize = static_cast<std::int32_t>(dataOffset - position);
  if (std::memcmp(entry->method, FolderMethod, MethodLength) == 0) entry->attributes |= 0x10;
  return dataOffset + packedField;
}

std::int64_t ReadHeader(platform::FileHandle file, std::int64_t position, ArchiveEntry* entry) {
  FileSource source(file);
  return ReadHeader(source, position, entry);
}
