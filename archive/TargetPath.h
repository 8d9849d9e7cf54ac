// Where a member lands on disk. Every extraction path goes through MakeTargetPath, so a member
// whose stored path would leave the chosen folder is never written anywhere.
#pragma once

#include <cstddef>
#include <string>

// Turns one path component from the archive's code page into the form written on disk (the
// command-line tool on POSIX converts Shift-JIS to UTF-8). False when it cannot; the caller then
// keeps the stored bytes.
using NameConverter = bool (*)(void* context, const char* component, char* out, std::size_t size);

// Largest target path the engine builds (a Win32 path fits in 260 bytes; converted names on
// POSIX take more room).
constexpr std::size_t TargetPathSize = 1024;

// True when the member path (stored form: components separated by "\" or "/", double-byte
// characters whose trail byte is 0x5C kept whole) stays inside whatever folder it is extracted
// to once one leading separator is dropped ("\DIR\FILE" of old archives, "/x" of Unix ones land
// below the folder): no second leading separator (UNC and device prefixes), no drive, UNC or device prefix, no ".." or other all-dots component, no ":"
// (drives, alternate data streams), no reserved device name. Empty and "." components are
// ignored.
bool IsSafeMemberPath(const char* memberPath);

// Builds folder + separator + member path with the platform's separator between components,
// each component passed through `convert` when one is given. A trailing separator of a folder
// entry is dropped. False (and `out` empty) when the member path is not safe, a converted
// component is not a plain name, or the result does not fit in `size` bytes.
bool MakeTargetPath(const char* folder, const char* memberPath, char* out, std::size_t size,
                    NameConverter convert = nullptr, void* context = nullptr);

// True when a link (symbolic link, junction or other reparse point) lies below `folder` on the
// way to `target`, the target itself included; `target` is a path MakeTargetPath built from
// `folder`. Extraction refuses such a member: whatever the link leads to is outside its care.
bool LinkOnTheWay(const char* folder, const char* target);

// The form under which the file system knows `target`: on Windows letter case and trailing dots
// and spaces of each component do not tell files apart ("A.TXT", "a.txt" and "A.TXT." are one
// file), so they are folded and dropped; on POSIX the path as it is.
std::string SameFileKey(const char* target);
