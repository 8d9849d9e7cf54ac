// Path and name helpers over backslash-separated ANSI (code page 932) byte strings. Every scan for
// a backslash or a dot steps over the second byte of a double-byte character, so a Shift-JIS
// character such as 0x95 0x5C is never split.
#pragma once

#include <cstddef>

// Size of every path buffer (MAX_PATH): at most MaxPath - 1 bytes and the NUL.
constexpr std::size_t MaxPath = 260;

// The text after the last backslash (the whole path when there is none).
const char* PathNamePart(const char* path);
// Bytes up to and including the last backslash; 0 when there is none.
std::size_t PathFolderLength(const char* path);
// The folder part with its trailing backslash. Outputs never exceed `size` bytes with the NUL and
// are cut on a character boundary.
void PathFolder(char* out, const char* path, std::size_t size = MaxPath);
// The text after the last backslash.
void PathLeafName(char* out, const char* path, std::size_t size = MaxPath);
// The name of the folder holding the path: the last component of its folder part; a drive ("D:")
// gets its backslash back, so D:\A.TXT gives D:\. Empty when the path has no folder part.
void PathParentName(char* out, const char* path, std::size_t size = MaxPath);
// The last dot of the name, or null when there is none or it is the first byte (".PROFILE").
const char* PathExtension(const char* name);
// True when `memberPath` lies directly in the folder part of `folderPath`: it begins with that
// part (compared ignoring case) and holds no further backslash.
bool MatchesFolder(const char* folderPath, const char* memberPath);
// False when a single-byte character of the name is one of " / : < > \ |.
bool IsValidFileName(const char* name);
// Creates every folder along the path; see the definition for the separators. Always true.
bool CreatePathDirectories(const char* path);

// Copies at most size - 1 bytes of `source` (stopping at its NUL) and terminates; never ends
// on a lead byte without its second byte. Returns the bytes copied.
std::size_t CopyCut(char* out, std::size_t size, const char* source, std::size_t length);
// Length of the longest prefix of the `length` bytes at `text` that is at most `limit` bytes and
// does not end between the two bytes of a double-byte character (nor on a lead byte whose
// second byte is missing).
std::size_t CharBoundaryCut(const char* text, std::size_t length, std::size_t limit);
