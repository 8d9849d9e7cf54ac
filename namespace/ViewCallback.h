// The callback the shell's standard folder view calls for an archive folder: the seven details
// columns, re-sorting on a header click, layout once the window exists, and permission to
// enumerate in the background.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstddef>

#include "namespace/ItemId.h"

// Number of details columns: name, size, type, date, ratio, method, CRC.
constexpr int ViewColumnCount = 7;

HRESULT CALLBACK ViewCallback(IShellView* outerView, IShellFolder* folder, HWND mainWindow,
                              UINT message, WPARAM wParam, LPARAM lParam);

// The text of one details column for an item (an empty text where a column says nothing about
// folders). `column` must be below ViewColumnCount.
void ItemColumnText(const ItemId& item, int column, char* out, std::size_t size);

// Compression ratio in whole percent, truncated; 0 for an empty member. No 32-bit overflow.
int CompressionPercent(std::uint32_t packedSize, std::uint32_t originalSize);

// The shell's folder-view message function (SHELL32 ordinal 73); 0 when it is not exported.
LRESULT SendFolderViewMessage(HWND mainWindow, UINT message, LPARAM lParam);
