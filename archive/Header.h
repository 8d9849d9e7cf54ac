// Reading and building LZH member headers, levels 0 to 3.
#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/ArchiveEntry.h"
#include "archive/ByteSource.h"
#include "platform/Platform.h"

// Parses the header at `position` into `entry` and returns the position of the next header
// (dataOffset + packedSize), which always lies after `position` and below 2^31. Returns 0 at the
// end of the archive (fewer than 21 bytes, or a zero first byte) and for a header that cannot be
// read whole or does not hold together (level above 3, sizes too small for their fields or running
// past the file, a packed size or data position out of range). Checksums and CRCs are not checked.
std::int64_t ReadHeader(ByteSource& source, std::int64_t position, ArchiveEntry* entry);
// The same over an open file (positioned reads, no read-ahead).
std::int64_t ReadHeader(platform::FileHandle file, std::int64_t position, ArchiveEntry* entry);

// Builds the header for `entry` at its headerLevel into `buffer` (lzh::HeaderBufferSize bytes) and
// returns its length. Returns 0, writing nothing usable, when the entry does not fit its level:
// level above 3, a negative packed size, or a level-0 path (directory + name) over 233 bytes.
// Text fields are taken up to their NUL or the end of their field, cut on a character boundary.
std::size_t WriteHeader(const ArchiveEntry& entry, std::uint8_t* buffer);
