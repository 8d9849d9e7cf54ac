// Path and name helpers over backslash-separated ANSI (code page 932) byte strings. Every scan for
// a backslash or a dot steps over the second byte of a double-byte character, so a Shift-JIS
// character such as 0x95 0x5C is never split. This is the one place that splits, joins, compares
// and strips separators of member paths and disk paths; nothing else looks at a separator byte.
#pragma once

#include <cstddef>
#include <string>

// What separates components, and whether a double-byte character's trail byte can be mistaken for
// one:
//  Member  a path inside the archive: "\" only, double-byte characters whole.
//  Stored  a member path as read from a header (untrusted): "\" or "/", double-byte characters
//          whole.
//  Disk    a path on disk: on Windows "\" or "/", double-byte characters whole; on POSIX "/"
//          only, and every byte is a character (names there are UTF-8, whose bytes may look like
//          code page 932 lead bytes).
enum class PathKind { Member, Stored, Disk };

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
// Bytes of the character at `p`: 2 for a lead byte followed by a second byte (where the kind
// knows double-byte characters), else 1.
std::size_t PathCharLength(const char* p, PathKind kind = PathKind::Member);
// True when the character starting with byte `c` separates components. Only meaningful at a
// character start; use the functions below to find one.
bool IsPathSeparator(char c, PathKind kind = PathKind::Member);
// Bytes before the first separator (or the end): the length of the component `path` starts with.
std::size_t ComponentLength(const char* path, PathKind kind = PathKind::Member);
// Bytes up to and including the last separator of the path; 0 when there is none.
std::size_t PathFolderLength(const char* path, PathKind kind);
// Number of separators in the path: the depth of a member below the root.
std::size_t CountSeparators(const char* path, PathKind kind = PathKind::Member);
// True when the last character of the first `length` bytes is a separator (a trail byte 0x5C is
// not).
bool EndsWithSeparator(const char* path, std::size_t length, PathKind kind = PathKind::Member);
// `length` less every trailing separator; never cuts a double-byte character.
std::size_t StripTrailingSeparators(const char* path, std::size_t length,
                                    PathKind kind = PathKind::Member);
// True when member path `path` lies below the folder `folder` (given with or without its trailing
// separator): it begins with the folder's text, compared ignoring case, followed by a separator.
// The folder's own entry ("DIR\") lies below "DIR". Nothing lies below an empty folder.
bool IsBelowFolder(const char* folder, const char* path);
// folder + separator + name; the separator ("\" for member paths, the platform's for disk paths)
// is added only when the folder is not empty and does not already end with a separator.
std::string JoinPath(const std::string& folder, const std::string& name,
                     PathKind kind = PathKind::Member);
// The same into a buffer of `size` bytes, which may be `folder` itself; false (and `out` empty)
// when the result does not fit.
bool JoinPath(char* out, std::size_t size, const char* folder, const char* name,
              PathKind kind = PathKind::Member);
// Replaces every separator among the first `length` bytes with `to` (never a trail byte).
void ReplaceSeparators(char* path, std::size_t length, char to, PathKind kind = PathKind::Member);
inline void ReplaceSeparators(std::string& path, char to, PathKind kind = PathKind::Member) {
  ReplaceSeparators(&path[0], path.size(), to, kind);
}

// Creates every folder along the path; see the definition for the separators. Always true.
bool CreatePathDirectories(const char* path);

// Copies at most size - 1 bytes of `source` (stopping at its NUL) and terminates; never ends
// on a lead byte without its second byte. Returns the bytes copied.
std::size_t CopyCut(char* out, std::size_t size, const char* source, std::size_t length);
// Length of the longest prefix of the `length` bytes at `text` that is at most `limit` bytes and
// does not end between the two bytes of a double-byte character (nor on a lead byte whose
// second byte is missing).
std::size_t CharBoundaryCut(const char* text, std::size_t length, std::size_t limit);
