// Declarations of the engine's text helpers that the dialogs use (size text, time text, name
// test, no-case compare), with the engine's own signatures. Removed once the engine provides them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Platform.h"

struct SizePatterns {
  const char* text[7];
};
void SizeText(char* out, std::size_t size, std::uint32_t bytes, bool exact,
              const SizePatterns& patterns);
void UnixToFileTime(std::int64_t seconds, platform::FileTime* out);
constexpr std::int32_t OmitPart = -1;
void FormatFileTime(platform::FileTime time, char* out, std::size_t size, std::int32_t dateFlags,
                    std::int32_t timeFlags);
bool IsValidFileName(const char* name);
int CompareNoCase(const char* a, const char* b);
