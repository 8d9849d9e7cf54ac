// The size display text: "1023 ﾊﾞｲﾄ", "1.50KB", "100MB", optionally followed by the exact count
// in groups of three digits, " (1,536 ﾊﾞｲﾄ)". Divisions truncate, never round.
#pragma once

#include <cstddef>
#include <cstdint>

// The seven patterns, from bytes to hundreds of megabytes; each holds the %d conversions its range
// needs (one, two, two, one, two, two, one). The library loads them from its string table; the
// engine's defaults are the same Shift-JIS texts.
struct SizePatterns {
  const char* text[7];
};
const SizePatterns& DefaultSizePatterns();

// Writes the text for `bytes` into `out` (`size` bytes with the NUL). With `exact`, the grouped
// byte count follows in parentheses, its unit taken from the first pattern.
void SizeText(char* out, std::size_t size, std::uint32_t bytes, bool exact,
              const SizePatterns& patterns = DefaultSizePatterns());
