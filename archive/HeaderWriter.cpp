// Header writer. Lengths are taken from the entry's fields bounded by the fields' sizes, so the
// largest header of any level stays well inside lzh::HeaderBufferSize and no size byte or length
// field can wrap.
#include <cstring>

#include "archive/Crc16.h"
#include "archive/Header.h"
#include "archive/HeaderFormat.h"
#include "archive/PathName.h"
#include "archive/TimeConversion.h"
#include "platform/Platform.h"

namespace {

using namespace lzh;

inline void Put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Put32(std::uint8_t* p, std::uint32_t v) {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}

// Length of a text field: up to its NUL, at most `limit` bytes, ending on a character boundary.
std::size_t FieldLength(const char* field, std::size_t fieldSize, std::size_t limit) {
  std::size_t n = 0;
  while (n < fieldSize && field[n]) ++n;
  return CharBoundaryCut(field, n, limit);
}

std::uint8_t HeaderChecksum(const std::uint8_t* header, std::size_t s) {
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < s; ++i) sum = static_cast<std::uint8_t>(sum + header[2 + i]);
  return sum;
}

// MS-DOS local date and time of the entry's last-write time; times before 1980 (or past 2107)
// take the format's first representable moment rather than an impossible date.
void PutDosTime(std::uint8_t* header, std::uint32_t seconds) {
  platform::FileTime utc;
  UnixToFileTime(seconds, &utc);
  std::uint16_t date = 0x21, time = 0;  // 1980-01-01 00:00:00
  if (!FileTimeToDos(utc, &date, &time)) {
    date = 0x21;
    time = 0;
  }
  Put16(header + OffsetTime, time);
  Put16(header + OffsetDate, date);
}

// Appends extended headers after a base header; each one's size goes into the size field that
// precedes it (the base header's first-size field, then the previous header's trailing field).
class ExtendedWriter {
 public:
  ExtendedWriter(std::uint8_t* buffer, std::size_t firstSizeField, std::size_t start,
                 std::uint32_t width)
      : buffer_(buffer), sizeField_(firstSizeField), end_(start), width_(width) {}

  // Reserves a header of `length` data bytes and returns where its data goes.
  std::uint8_t* Add(std::uint8_t type, std::size_t length) {
    std::uint32_t size = static_cast<std::uint32_t>(1 + length + width_);
    PutSize(sizeField_, size);
    buffer_[end_] = type;
    std::uint8_t* data = buffer_ + end_ + 1;
    sizeField_ = end_ + 1 + length;
    end_ = sizeField_ + width_;
    return data;
  }
  void AddBytes(std::uint8_t type, const void* bytes, std::size_t length) {
    std::memcpy(Add(type, length), bytes, length);
  }
  // Closes the chain with a zero size; returns the header's length so far.
  std::size_t Finish() {
    PutSize(sizeField_, 0);
    return end_;
  }

 private:
  void PutSize(std::size_t at, std::uint32_t size) {
    if (width_ == 4)
      Put32(buffer_ + at, size);
    else
      Put16(buffer_ + at, size);
  }
  std::uint8_t* buffer_;
  std::size_t sizeField_;
  std::size_t end_;
  std::uint32_t width_;
};

struct Texts {
  std::size_t directory;
  std::size_t name;
  std::size_t comment;
};

// Name, folder (backslashes as 0xFF, never the second byte of a double-byte character) and comment
// extended headers.
void AddTextHeaders(ExtendedWriter& writer, const ArchiveEntry& entry, const Texts& texts) {
  writer.AddBytes(ExtFileName, entry.name, texts.name);
  if (texts.directory) {
    std::uint8_t* data = writer.Add(ExtDirectory, texts.directory);
    std::memcpy(data, entry.directory, texts.directory);
    ReplaceSeparators(reinterpret_cast<char*>(data), texts.directory,
                      static_cast<char>(DirectorySeparator));
  }
  if (texts.comment) writer.AddBytes(ExtComment, entry.comment, texts.comment);
}

void PutCommon(std::uint8_t* header, const ArchiveEntry& entry, std::uint32_t packedField) {
  std::size_t method = 0;
  while (method < MethodLength && entry.method[method]) ++method;
  std::memset(header + OffsetMethod, 0, MethodLength);
  std::memcpy(header + OffsetMethod, entry.method, method);
  Put32(header + OffsetPackedSize, packedField);
  Put32(header + OffsetOriginalSize, entry.originalSize);
}

}  // namespace

std::size_t WriteHeader(const ArchiveEntry& entry, std::uint8_t* buffer) {
  if (entry.headerLevel > 3 || entry.packedSize < 0) return 0;
  const Texts texts = {FieldLength(entry.directory, sizeof entry.directory, EntryFieldMax),
                       FieldLength(entry.name, sizeof entry.name, EntryFieldMax),
                       FieldLength(entry.comment, sizeof entry.comment, CommentMax)};
  const auto packed = static_cast<std::uint32_t>(entry.packedSize);
  std::memset(buffer, 0, HeaderBufferSize);

  switch (entry.headerLevel) {
    case 0: {
      // Level 0 carries the whole path in the base header: S = N + 22 must fit its byte.
      const std::size_t n = texts.directory + texts.name;
      if (n > Level0PathMax) return 0;
      const std::size_t s = n + Level0Fixed;
      PutCommon(buffer, entry, packed);
      PutDosTime(buffer, entry.modifyTime);
      buffer[OffsetAttribute] = static_cast<std::uint8_t>(entry.attributes);
      buffer[OffsetLevel] = 0;
      buffer[OffsetPathLength] = static_cast<std::uint8_t>(n);
      std::memcpy(buffer + OffsetPath, entry.directory, texts.directory);
      std::memcpy(buffer + OffsetPath + texts.directory, entry.name, texts.name);
      Put16(buffer + OffsetPath + n, entry.crc);
      buffer[0] = static_cast<std::uint8_t>(s);
      buffer[1] = HeaderChecksum(buffer, s);
      return s + 2;
    }
    case 1: {
      const std::size_t n = texts.name <= Level1BaseNameMax ? texts.name : 0;
      const std::size_t s = n + Level1Fixed;
      PutDosTime(buffer, entry.modifyTime);
      buffer[OffsetAttribute] = ReservedAttribute;
      buffer[OffsetLevel] = 1;
      buffer[OffsetPathLength] = static_cast<std::uint8_t>(n);
      std::memcpy(buffer + OffsetPath, entry.name, n);
      Put16(buffer + OffsetPath + n, entry.crc);
      buffer[OffsetPath + n + 2] = entry.osId;
      buffer[0] = static_cast<std::uint8_t>(s);
      if (texts.directory == 0 && texts.comment == 0 && n != 0 &&
          entry.attributes == ReservedAttribute) {
        // Short form: no extended headers (the first-size field at S stays 0).
        PutCommon(buffer, entry, packed);
        buffer[1] = HeaderChecksum(buffer, s);
        return s + 2;
      }
      ExtendedWriter writer(buffer, s, s + 2, 2);
      AddTextHeaders(writer, entry, texts);
      if (entry.attributes != ReservedAttribute) {
        std::uint8_t* data = writer.Add(ExtAttribute, 2);
        Put16(data, entry.attributes);
      }
      std::uint8_t* crcField = writer.Add(ExtHeaderCrc, 2);
      const std::size_t length = writer.Finish();
      // The packed size counts the extended headers (at most a few kilobytes, so no wrap).
      PutCommon(buffer, entry, packed + static_cast<std::uint32_t>(length - (s + 2)));
      buffer[1] = HeaderChecksum(buffer, s);
      Put16(crcField, ComputeCrc16(buffer, length));
      return length;
    }
    case 2: {
      PutCommon(buffer, entry, packed);
      Put32(buffer + OffsetTime, entry.modifyTime);
      buffer[OffsetAttribute] = ReservedAttribute;
      buffer[OffsetLevel] = 2;
      Put16(buffer + OffsetCrc, entry.crc);
      buffer[OffsetOsId] = entry.osId;
      ExtendedWriter writer(buffer, OffsetLevel2FirstSize, Level2Base, 2);
      AddTextHeaders(writer, entry, texts);
      Put16(writer.Add(ExtAttribute, 2), entry.attributes);
      std::uint8_t* crcField = writer.Add(ExtHeaderCrc, 2);
      std::size_t length = writer.Finish();
      // A total whose low byte is 0 would read as the end of the archive: pad it by one byte.
      if ((length & 0xFF) == 0) buffer[length++] = 0;
      Put16(buffer, static_cast<std::uint32_t>(length));
      Put16(crcField, ComputeCrc16(buffer, length));
      return length;
    }
    default: {
      PutCommon(buffer, entry, packed);
      Put16(buffer, Level3SizeWidth);
      Put32(buffer + OffsetTime, entry.modifyTime);
      buffer[OffsetAttribute] = ReservedAttribute;
      buffer[OffsetLevel] = 3;
      Put16(buffer + OffsetCrc, entry.crc);
      buffer[OffsetOsId] = entry.osId;
      ExtendedWriter writer(buffer, OffsetLevel3FirstSize, Level3Base, 4);
      AddTextHeaders(writer, entry, texts);
      std::uint8_t* data = writer.Add(ExtWindowsAttributes, WindowsAttributesData);
      Put16(data, entry.attributes);  // three zero u16 follow
      Put32(data + 8, entry.createTime);
      Put32(data + 12, entry.accessTime);
      std::uint8_t* crcField = writer.Add(ExtHeaderCrc, 2);
      const std::size_t length = writer.Finish();
      Put32(buffer + OffsetLevel3TotalSize, static_cast<std::uint32_t>(length));
      Put16(crcField, ComputeCrc16(buffer, length));
      return length;
    }
  }
}

// Largest header: level 3 with a full folder, name and comment.
static_assert(Level3Base + 2 * (ExtendedFixed32 + EntryFieldMax) + ExtendedFixed32 + CommentMax +
                      (ExtendedFixed32 + WindowsAttributesData) + (ExtendedFixed32 + 2) <=
                  HeaderBufferSize,
              "the header buffer holds every header");
