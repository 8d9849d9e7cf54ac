// Conversions between the three time forms the archive meets: MS-DOS date/time (local time, in
// level-0/1 headers), seconds since 1970-01-01 UTC (ArchiveEntry, level-2/3 headers) and FILETIME
// (the file system), and the date/time display text.
//
// FileTimeToUnix reads the local calendar time back as standard time, so in a zone with daylight
// saving a round trip through UnixToFileTime and FileTimeToUnix shifts by the daylight-saving
// offset while daylight-saving time is in force (the local FILETIME uses the zone's current bias).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Platform.h"

// MS-DOS local date and time to a UTC FILETIME. False for an impossible date or time.
bool DosToFileTime(std::uint16_t date, std::uint16_t time, platform::FileTime* out);
// UTC FILETIME to MS-DOS local date and time. False outside 1980-2107.
bool FileTimeToDos(platform::FileTime time, std::uint16_t* date, std::uint16_t* dosTime);
// Seconds since 1970 UTC to a FILETIME; a negative value leaves the output unchanged. The seconds
// are taken as 64-bit so that the header's unsigned 32-bit times after 2038 convert too.
void UnixToFileTime(std::int64_t seconds, platform::FileTime* out);
// FILETIME to seconds since 1970 UTC (through local time read as standard time). 0 when the time
// cannot be converted or lies outside the unsigned 32-bit range of the header fields.
std::uint32_t FileTimeToUnix(platform::FileTime time);

// Flags value that leaves out the date or the time.
constexpr std::int32_t OmitPart = -1;
// Local date and time text of a UTC FILETIME: "date time", or only one of them when the other's
// flags are OmitPart. Empty text when the conversion fails. `size` bounds the output with its NUL.
void FormatFileTime(platform::FileTime time, char* out, std::size_t size, std::int32_t dateFlags,
                    std::int32_t timeFlags);
