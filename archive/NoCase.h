// Case-insensitive comparison of ANSI (code page 932) byte strings. Only the ASCII letters fold;
// the trail byte of a double-byte character is compared as it is, so a Shift-JIS character whose
// second byte happens to be an ASCII letter (0x40-0x7E) never matches a different character.
// Every no-case comparison of member paths goes through these so that lookups, hashing and
// folder matching agree with one another.
#pragma once

#include <cstddef>
#include <cstdint>

// <0, 0 or >0: bytewise order after folding 'A'-'Z' to 'a'-'z' outside double-byte characters.
int CompareNoCase(const char* a, const char* b);

// True when the first `length` bytes of `a` and `b` match ignoring case. A string shorter than
// `length` matches only a string of the same length (both are cut at `length`, then compared).
bool PrefixEqualNoCase(const char* a, const char* b, std::size_t length);

// 64-bit FNV-1a of the bytes, and of the bytes folded as CompareNoCase folds them: two keys that
// compare equal (exactly, or ignoring case) hash equal.
std::uint64_t HashKey(const char* key);
std::uint64_t HashKeyNoCase(const char* key);
