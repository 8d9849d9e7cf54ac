#include "operations/EngineShim.h"

#include <windows.h>

#include <cstdio>

void SizeText(char* out, std::size_t size, std::uint32_t bytes, bool,
              const SizePatterns& patterns) {
  const std::uint32_t KB = 1024, MB = 1024 * 1024;
  int a = 0, b = 0, which = 0;
  if (bytes < KB) { which = 0; a = int(bytes); }
  else if (bytes < 10 * KB) { which = 1; a = int(bytes / KB); b = int(bytes % KB * 100 / KB); }
  else if (bytes < 100 * KB) { which = 2; a = int(bytes / KB); b = int(bytes % KB * 10 / KB); }
  else if (bytes < MB) { which = 3; a = int(bytes / KB); }
  else if (bytes < 10 * MB) { which = 4; a = int(bytes / MB); b = int(std::uint64_t{bytes % MB} * 100 / MB); }
  else if (bytes < 100 * MB) { which = 5; a = int(bytes / MB); b = int(std::uint64_t{bytes % MB} * 10 / MB); }
  else { which = 6; a = int(bytes / MB); }
  std::snprintf(out, size, patterns.text[which], a, b);
}

void UnixToFileTime(std::int64_t seconds, platform::FileTime* out) {
  if (seconds < 0) return;
  *out = platform::FromU64(116444736000000000ULL + std::uint64_t(seconds) * 10000000ULL);
}

void FormatFileTime(platform::FileTime time, char* out, std::size_t size, std::int32_t dateFlags,
                    std::int32_t timeFlags) {
  out[0] = '\0';
  FILETIME utc = {time.low, time.high}, local;
  SYSTEMTIME st;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &st)) return;
  char date[64] = "", clock[64] = "";
  if (dateFlags != OmitPart) GetDateFormatA(LOCALE_USER_DEFAULT, dateFlags, &st, nullptr, date, 64);
  if (timeFlags != OmitPart) GetTimeFormatA(LOCALE_USER_DEFAULT, timeFlags, &st, nullptr, clock, 64);
  if (timeFlags == OmitPart) std::snprintf(out, size, "%s", date);
  else if (dateFlags == OmitPart) std::snprintf(out, size, "%s", clock);
  else std::snprintf(out, size, "%s %s", date, clock);
}

bool IsValidFileName(const char* name) {
  for (const char* p = name; *p; ++p) {
    if (IsDBCSLeadByte(static_cast<BYTE>(*p))) {
      if (!p[1]) break;
      ++p;
      continue;
    }
    switch (*p) {
      case '"': case '/': case ':': case '<': case '>': case '\\': case '|': return false;
      default: break;
    }
  }
  return true;
}

int CompareNoCase(const char* a, const char* b) {
  bool trail = false;
  for (std::size_t i = 0;; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    unsigned char fx = (!trail && x >= 'A' && x <= 'Z') ? x + 32 : x;
    unsigned char fy = (!trail && y >= 'A' && y <= 'Z') ? y + 32 : y;
    if (fx != fy) return fx < fy ? -1 : 1;
    if (!x) return 0;
    trail = !trail && IsDBCSLeadByte(x);
  }
}
