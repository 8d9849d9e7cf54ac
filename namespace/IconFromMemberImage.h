// An icon file inside an archive shows its own picture: the member is decoded, written to a
// temporary file for the shell to read the icon from, and the file is removed again at once.
#pragma once

#include <windows.h>

#include <cstddef>

class Archive;

// Names tried in the temporary folder: the member's own name, then 000NAME .. 999NAME.
constexpr int TemporaryNameAttempts = 1001;

// Large and small icon (either may come back null) of the icon member at `memberPath`.
// E_UNEXPECTED when the member cannot be decoded or no temporary file can be created.
HRESULT IconFromMemberImage(Archive& archive, const char* memberPath, HICON* large,
                            HICON* small);

// The file name the member gets in the temporary folder: its own name when that is a plain file
// name, otherwise a fixed safe one; a member name never steers the file outside the folder or
// onto a device. Writes at most `size` bytes with the NUL.
void TemporaryImageName(const char* memberPath, char* out, std::size_t size);
