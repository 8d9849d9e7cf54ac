// The first, cheap stage of an item's icon: the folder's IShellIcon::GetIconOf answers most items
// with one of the shell's standard icons straight from the identifier's bytes, and sends only the
// files that may show their own picture on to an ItemIcon.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstdint>

// Indexes of the shell's standard icons in the system image list.
constexpr int DocumentIconIndex = 1;
constexpr int ApplicationIconIndex = 2;
constexpr int FolderIconIndex = 3;
constexpr int OpenFolderIconIndex = 4;

// Members up to this size are decoded for their own icon when DecodeImage is on.
constexpr std::uint32_t DecodeImageLimit = 0x100000;

// GetIconOf for one item: S_OK with a standard index, or S_FALSE (index untouched) when the shell
// should ask for an ItemIcon. E_INVALIDARG for a missing or foreign identifier or index pointer.
HRESULT ItemIconIndex(LPCITEMIDLIST item, UINT flags, int* index);
