#include "archive/SizeText.h"

#include <cstdio>
#include <cstring>

namespace {

// Shift-JIS: "%d ﾊﾞｲﾄ" is written with half-width katakana (0xCA 0xDE 0xB2 0xC4).
const SizePatterns DefaultPatterns = {{
    "%d \xCA\xDE\xB2\xC4",
    "%d.%02dKB",
    "%d.%01dKB",
    "%dKB",
    "%d.%02dMB",
    "%d.%01dMB",
    "%dMB",
}};

constexpr std::uint32_t KB = 1024;
constexpr std::uint32_t MB = 1024 * 1024;

// Appends formatted text at the end of `out` without passing `size`.
template <typename... Args>
void AppendFormat(char* out, std::size_t size, const char* pattern, Args... args) {
  std::size_t used = std::strlen(out);
  if (used + 1 >= size) return;
  std::snprintf(out + used, size - used, pattern, args...);
}

void AppendText(char* out, std::size_t size, const char* text) {
  std::size_t used = std::strlen(out);
  std::size_t length = std::strlen(text);
  if (used + length + 1 > size) return;
  std::memcpy(out + used, text, length + 1);
}

// The byte-count pattern with its number written in three digits ("%03d"), for the lowest group of
// a count that has higher groups (1,005 rather than 1,5). Falls back to the pattern itself.
const char* PaddedPattern(const char* pattern, char* buffer, std::size_t size) {
  const char* conversion = std::strstr(pattern, "%d");
  std::size_t head = conversion ? static_cast<std::size_t>(conversion - pattern) : 0;
  std::size_t tail = conversion ? std::strlen(conversion + 2) : 0;
  if (!conversion || head + 4 + tail + 1 > size) return pattern;
  std::memcpy(buffer, pattern, head);
  std::memcpy(buffer + head, "%03d", 4);
  std::memcpy(buffer + head + 4, conversion + 2, tail + 1);
  return buffer;
}

}  // namespace

const SizePatterns& DefaultSizePatterns() { return DefaultPatterns; }

void SizeText(char* out, std::size_t size, std::uint32_t bytes, bool exact,
              const SizePatterns& patterns) {
  if (size == 0) return;
  out[0] = '\0';
  const int n = static_cast<int>(bytes / MB);  // at most 4095
  const std::uint32_t restMB = bytes % MB;
  if (bytes < KB)
    AppendFormat(out, size, patterns.text[0], static_cast<int>(bytes));
  else if (bytes < 10 * KB)
    AppendFormat(out, size, patterns.text[1], static_cast<int>(bytes / KB),
                 static_cast<int>(bytes % KB * 100 / KB));
  else if (bytes < 100 * KB)
    AppendFormat(out, size, patterns.text[2], static_cast<int>(bytes / KB),
                 static_cast<int>(bytes % KB * 10 / KB));
  else if (bytes < MB)
    AppendFormat(out, size, patterns.text[3], static_cast<int>(bytes / KB));
  else if (bytes < 10 * MB)
    AppendFormat(out, size, patterns.text[4], n, static_cast<int>(std::uint64_t{restMB} * 100 / MB));
  else if (bytes < 100 * MB)
    AppendFormat(out, size, patterns.text[5], n, static_cast<int>(std::uint64_t{restMB} * 10 / MB));
  else
    AppendFormat(out, size, patterns.text[6], n);
  if (!exact) return;

  // Groups of three digits from the right, by repeated division by 1000.
  int groups[4];
  int count = 0;
  std::uint32_t rest = bytes;
  do {
    groups[count++] = static_cast<int>(rest % 1000);
    rest /= 1000;
  } while (rest != 0);
  AppendText(out, size, " (");
  for (int i = count - 1; i > 0; --i) AppendFormat(out, size, i == count - 1 ? "%d," : "%03d,", groups[i]);
  char padded[64];
  const char* unit = count > 1 ? PaddedPattern(patterns.text[0], padded, sizeof padded) : patterns.text[0];
  AppendFormat(out, size, unit, groups[0]);
  AppendText(out, size, ")");
}
