// Time conversions. The suite runs with TZ=Asia/Tokyo (UTC+9, no daylight saving), where local
// MS-DOS times really differ from UTC and every conversion is exactly reversible.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "archive/TimeConversion.h"

namespace {

constexpr std::uint32_t Y2000 = 946684800;  // 2000-01-01 00:00:00 UTC
constexpr std::uint16_t DosDate2000 = (20 << 9) | (1 << 5) | 1;

bool RunningInTokyo() {
  platform::FileTime utc, local;
  UnixToFileTime(Y2000, &utc);
  return platform::FileTimeToLocalFileTime(utc, &local) &&
         platform::ToU64(local) - platform::ToU64(utc) == 9ULL * 3600 * 10000000;
}

}  // namespace

TEST(TimeConversion, TokyoDosAndUnixTimes) {
  if (!RunningInTokyo()) GTEST_SKIP() << "needs TZ=Asia/Tokyo, as the test runner sets";
  platform::FileTime utc;
  // 09:00 local on 2000-01-01 is midnight UTC.
  ASSERT_TRUE(DosToFileTime(DosDate2000, 9 << 11, &utc));
  platform::SystemTime st;
  ASSERT_TRUE(platform::FileTimeToSystemTime(utc, &st));
  EXPECT_EQ(st.year, 2000);
  EXPECT_EQ(st.day, 1);
  EXPECT_EQ(st.hour, 0);
  EXPECT_EQ(FileTimeToUnix(utc), Y2000);

  std::uint16_t date = 0, time = 0;
  UnixToFileTime(Y2000 + 13, &utc);
  ASSERT_TRUE(FileTimeToDos(utc, &date, &time));
  EXPECT_EQ(date, DosDate2000);
  EXPECT_EQ(time, (9 << 11) | 6);  // 13 s in two-second units

  for (std::uint32_t t : {0u, Y2000, 1700000000u, 0x7FFFFFFFu}) {
    UnixToFileTime(t, &utc);
    EXPECT_EQ(FileTimeToUnix(utc), t);
  }
  EXPECT_FALSE(DosToFileTime(DosDate2000 & ~0x1F, 0, &utc));  // day 0
}

TEST(TimeConversion, UnsignedTimesAfter2038AndNegativeInput) {
  platform::FileTime ft{1, 2};
  UnixToFileTime(-1, &ft);
  EXPECT_EQ(ft.low, 1u);
  EXPECT_EQ(ft.high, 2u);
  UnixToFileTime(0xFFFFFFFFu, &ft);  // 2106-02-07 06:28:15 UTC
  platform::SystemTime st;
  ASSERT_TRUE(platform::FileTimeToSystemTime(ft, &st));
  EXPECT_EQ(st.year, 2106);
  EXPECT_EQ(st.month, 2);
  EXPECT_EQ(st.day, 7);
  EXPECT_EQ(st.second, 15);
}

TEST(TimeConversion, FormatsLocalDateAndTime) {
  if (!RunningInTokyo()) GTEST_SKIP() << "needs TZ=Asia/Tokyo, as the test runner sets";
  platform::FileTime utc;
  UnixToFileTime(Y2000 + 3600 + 2 * 60 + 3, &utc);  // 10:02:03 in Tokyo
  // The date's form is the locale's short date (Wine's Japanese one under Wine, year/month/day
  // with two-digit fields natively); the local calendar day and time and the joining are this
  // helper's.
#ifdef _WIN32
  const std::string date = "2000/1/1";
#else
  const std::string date = "2000/01/01";
#endif
  char out[160];
  FormatFileTime(utc, out, sizeof out, 0, OmitPart);
  EXPECT_EQ(std::string(out), date);
  FormatFileTime(utc, out, sizeof out, OmitPart, 0);
  EXPECT_STREQ(out, "10:02:03");
  FormatFileTime(utc, out, sizeof out, 0, 0);
  EXPECT_EQ(std::string(out), date + " 10:02:03");
  FormatFileTime(utc, out, 8, 0, 0);  // cut to the buffer
  EXPECT_EQ(std::string(out), (date + " 10:02:03").substr(0, 7));
}

// Local times are read back as standard time, with the zone's current bias: while daylight
// saving is in force a round trip gains the daylight-saving hour, outside it nothing changes.
// Between them, New York and Sydney always have one zone in daylight saving.
TEST(TimeConversion, DaylightSavingShiftsTheRoundTrip) {
#ifdef _WIN32
  GTEST_SKIP() << "Wine takes its time zone from the host when it starts; a Windows process "
                  "cannot switch the zone it converts with";
#else
  const char* saved = std::getenv("TZ");
  std::string previous = saved ? saved : "";
  int shifted = 0;
  for (const char* zone : {"America/New_York", "Australia/Sydney"}) {
    setenv("TZ", zone, 1);
    tzset();
    std::time_t now = std::time(nullptr);
    struct tm local;
    ASSERT_NE(localtime_r(&now, &local), nullptr);
    const std::int64_t expected = local.tm_isdst > 0 ? 3600 : 0;
    platform::FileTime utc;
    UnixToFileTime(Y2000, &utc);
    EXPECT_EQ(static_cast<std::int64_t>(FileTimeToUnix(utc)) - Y2000, expected) << zone;
    if (expected) ++shifted;
  }
  if (saved)
    setenv("TZ", previous.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
  EXPECT_GE(shifted, 1);
#endif
}

// Calendar dates across the whole FILETIME range: known leap days and century years, and a
// round trip through SystemTimeToFileTime for days spread over all of it.
TEST(TimeConversion, CalendarDatesOverTheWholeRange) {
  struct Known {
    std::uint16_t year, month, day, dayOfWeek;
  };
  const Known known[] = {{1601, 1, 1, 1},  {1900, 2, 28, 3}, {1900, 3, 1, 4},  {2000, 2, 29, 2},
                         {2000, 3, 1, 3},  {2024, 12, 31, 2}, {2100, 3, 1, 1}, {30827, 12, 31, 5}};
  for (const Known& k : known) {
    platform::SystemTime st{};
    st.year = k.year;
    st.month = k.month;
    st.day = k.day;
    st.hour = 23;
    st.minute = 59;
    st.second = 58;
    platform::FileTime ft;
    ASSERT_TRUE(platform::SystemTimeToFileTime(st, &ft)) << k.year;
    platform::SystemTime back;
    ASSERT_TRUE(platform::FileTimeToSystemTime(ft, &back));
    EXPECT_EQ(back.year, k.year);
    EXPECT_EQ(back.month, k.month);
    EXPECT_EQ(back.day, k.day);
    EXPECT_EQ(back.dayOfWeek, k.dayOfWeek) << k.year << "-" << k.month << "-" << k.day;
    EXPECT_EQ(back.second, 58);
  }
  const std::uint64_t day = 864000000000ULL;  // 100-ns ticks
  for (std::uint64_t d = 0; d < 10675000; d += 997) {  // up to 30827, the last year there is
    platform::SystemTime st;
    ASSERT_TRUE(platform::FileTimeToSystemTime(platform::FromU64(d * day + 1234), &st)) << d;
    ASSERT_TRUE(st.month >= 1 && st.month <= 12 && st.day >= 1 && st.day <= 31) << d;
    platform::FileTime back;
    ASSERT_TRUE(platform::SystemTimeToFileTime(st, &back)) << d;
    ASSERT_EQ(platform::ToU64(back), d * day) << d;  // milliseconds kept, the rest dropped
  }
}
