#include "archive/TimeConversion.h"

#include <cstdio>

namespace {
constexpr std::int64_t TicksPerSecond = 10000000;
constexpr std::int64_t UnixEpochTicks = 116444736000000000LL;  // 1970-01-01 as a FILETIME
constexpr std::size_t PartBuffer = 64;                          // each of the date and time texts
}  // namespace

bool DosToFileTime(std::uint16_t date, std::uint16_t time, platform::FileTime* out) {
  platform::FileTime local;
  if (!platform::DosDateTimeToFileTime(date, time, &local)) return false;
  return platform::LocalFileTimeToFileTime(local, out);
}

bool FileTimeToDos(platform::FileTime time, std::uint16_t* date, std::uint16_t* dosTime) {
  platform::FileTime local;
  if (!platform::FileTimeToLocalFileTime(time, &local)) return false;
  return platform::FileTimeToDosDateTime(local, date, dosTime);
}

void UnixToFileTime(std::int64_t seconds, platform::FileTime* out) {
  // Seconds since 1970 are calendar time in UTC: the FILETIME is a plain offset from its epoch.
  if (seconds < 0 || seconds > (INT64_MAX - UnixEpochTicks) / TicksPerSecond) return;
  *out = platform::FromU64(static_cast<std::uint64_t>(UnixEpochTicks + seconds * TicksPerSecond));
}

std::uint32_t FileTimeToUnix(platform::FileTime time) {
  platform::FileTime local;
  platform::SystemTime calendar;
  if (!platform::FileTimeToLocalFileTime(time, &local)) return 0;
  if (!platform::FileTimeToSystemTime(local, &calendar)) return 0;
  std::int64_t seconds = platform::LocalStandardTimeToUnix(calendar);
  if (seconds < 0 || seconds > 0xFFFFFFFFLL) return 0;
  return static_cast<std::uint32_t>(seconds);
}

void FormatFileTime(platform::FileTime time, char* out, std::size_t size, std::int32_t dateFlags,
                    std::int32_t timeFlags) {
  if (size == 0) return;
  out[0] = '\0';
  platform::FileTime local;
  platform::SystemTime calendar;
  if (!platform::FileTimeToLocalFileTime(time, &local)) return;
  if (!platform::FileTimeToSystemTime(local, &calendar)) return;
  char date[PartBuffer] = "";
  char clock[PartBuffer] = "";
  if (dateFlags != OmitPart &&
      !platform::FormatDate(calendar, static_cast<std::uint32_t>(dateFlags), date, sizeof date))
    date[0] = '\0';
  if (timeFlags != OmitPart &&
      !platform::FormatTime(calendar, static_cast<std::uint32_t>(timeFlags), clock, sizeof clock))
    clock[0] = '\0';
  if (timeFlags == OmitPart)
    std::snprintf(out, size, "%s", date);
  else if (dateFlags == OmitPart)
    std::snprintf(out, size, "%s", clock);
  else
    std::snprintf(out, size, "%s %s", date, clock);
}
