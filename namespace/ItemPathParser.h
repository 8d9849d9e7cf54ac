// Turns a path relative to a folder of an archive ("DIR\A.TXT") into the identifier list the shell
// would reach it by: one item per level, each the same item the folder's enumeration hands out,
// so a parsed list compares equal to a browsed one.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "namespace/ItemId.h"
#include "namespace/ItemIdList.h"

class Archive;

// Finds `relative` (bytes as stored in the archive, letter case ignored) below the folder
// `innerPath` at `depth` and sets `*out` to its items. S_OK; HRESULT_FROM_WIN32(
// ERROR_FILE_NOT_FOUND) when a level does not hold the next name or a file stands where a folder
// is needed; E_OUTOFMEMORY.
HRESULT ParseItemPath(Archive* archive, const char* innerPath, std::int32_t depth,
                      const char* relative, ItemIdList* out);

// The folder path of a folder item: its path and a backslash, as innerPath holds it. False when
// that does not fit `size` bytes.
bool ItemFolderPath(const ItemId& item, char* out, std::size_t size);
