// Constants fixed by the LZH header format. All numbers are little-endian.
//
// Every header starts with the same 21 bytes: size (level 0/1: S, the bytes after offset 1; level 2:
// low byte of the total; level 3: the u16 4), checksum (0/1) or size high byte (2), method
// identifier at 2, packed size at 7, original size at 11, time at 15 (MS-DOS time and date for 0/1,
// u32 seconds for 2/3), attribute at 19, level at 20. Levels 1-3 go on with a chain of extended
// headers: type byte, data, size of the next one (2 bytes, level 3: 4); a size counts all three.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lzh {

constexpr std::size_t CommonSize = 21;
constexpr std::size_t OffsetMethod = 2;
constexpr std::size_t MethodLength = 5;
constexpr std::size_t OffsetPackedSize = 7;
constexpr std::size_t OffsetOriginalSize = 11;
constexpr std::size_t OffsetTime = 15;   // level 0/1: MS-DOS time; level 2/3: u32 seconds
constexpr std::size_t OffsetDate = 17;   // level 0/1: MS-DOS date
constexpr std::size_t OffsetAttribute = 19;
constexpr std::size_t OffsetLevel = 20;
constexpr std::size_t OffsetPathLength = 21;  // level 0/1: N
constexpr std::size_t OffsetPath = 22;        // level 0/1: N bytes of path or name

// Level 0: S = N + 22 (path, CRC). Level 1: S = N + 25 (name, CRC, OS id, first extended size).
constexpr std::size_t Level0Fixed = 22;
constexpr std::size_t Level1Fixed = 25;
constexpr std::size_t MaxSizeByte = 255;
constexpr std::size_t Level0PathMax = MaxSizeByte - Level0Fixed;    // 233
constexpr std::size_t Level1BaseNameMax = 230;

// Level 2: CRC at 21, OS id at 23, first extended size (u16) at 24; base header 26 bytes.
constexpr std::size_t Level2Base = 26;
// Level 3: CRC at 21, OS id at 23, total header size (u32) at 24, first extended size (u32) at 28.
constexpr std::size_t Level3Base = 32;
constexpr std::size_t OffsetCrc = 21;
constexpr std::size_t OffsetOsId = 23;
constexpr std::size_t OffsetLevel2FirstSize = 24;
constexpr std::size_t OffsetLevel3TotalSize = 24;
constexpr std::size_t OffsetLevel3FirstSize = 28;
constexpr std::uint16_t Level3SizeWidth = 4;

// Extended headers: type byte + data + next size; the fixed part is 3 bytes (level 3: 5).
constexpr std::size_t ExtendedFixed16 = 3;
constexpr std::size_t ExtendedFixed32 = 5;
enum ExtendedType : std::uint8_t {
  ExtHeaderCrc = 0x00,
  ExtFileName = 0x01,
  ExtDirectory = 0x02,
  ExtComment = 0x3F,
  ExtAttribute = 0x40,
  ExtUnixTime = 0x54,
  ExtWindowsAttributes = 0x7F,  // u16 attribute, three u16 zero, u32 creation, u32 access
};
constexpr std::size_t WindowsAttributesData = 16;
constexpr std::uint8_t DirectorySeparator = 0xFF;  // between folder components in type 0x02

constexpr std::uint8_t ReservedAttribute = 0x20;  // byte 19 of levels 1-3 when written
constexpr char FolderMethod[] = "-lhd-";

// Buffer every caller hands to WriteHeader; the largest header it builds fits with room to spare.
constexpr std::size_t HeaderBufferSize = 2048;

}  // namespace lzh
