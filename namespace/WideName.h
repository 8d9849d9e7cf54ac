// The one crossing between the shell's UTF-16 names and the byte strings of the archive and of
// the ANSI file calls. No best-fit mapping: a wide name is representable only when converting it
// to bytes and back gives the same name, so "café" on a code page without é is refused instead of
// becoming "cafe" (another file). Every wide <-> byte name conversion of the library goes through
// these two functions.
#pragma once

#include <windows.h>

#include <cstddef>

// Code page of the ANSI file calls (CreateFileA, FindFirstFileA): paths on disk.
constexpr UINT FileCodePage = CP_ACP;
// Code page of member names shown to and taken from the shell.
constexpr UINT MemberCodePage = CP_OEMCP;

// Converts `wide` (NUL-terminated) into `out` of `size` bytes. False, with `out` empty, when a
// character has no exact byte form in `codePage`, the result does not round-trip, or it does not
// fit `size` bytes with the NUL.
bool WideToName(const wchar_t* wide, char* out, std::size_t size, UINT codePage = FileCodePage);

// Converts the byte string `name` into `out` of `size` wide characters. False, with `out` empty,
// when the bytes are not valid in `codePage` or do not fit.
bool NameToWide(const char* name, wchar_t* out, std::size_t size, UINT codePage = FileCodePage);
