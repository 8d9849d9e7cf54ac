// The one class identifier under which the shell loads tanufold in every role: namespace folder
// for ".lzh" files, their context-menu, property-sheet and drop handler, and the drag-and-drop
// handler of folders. The installer registers it; the library compares against it. Both
// deliverables include this header and nothing else of each other.
#pragma once

#include <guiddef.h>

// {BE127174-D735-4532-B573-72053ECB5AEC}
static const GUID CLSID_Tanuvia = {
    0xBE127174, 0xD735, 0x4532, {0xB5, 0x73, 0x72, 0x05, 0x3E, 0xCB, 0x5A, 0xEC}};

// The same identifier as the registry writes it (the name of the key under "CLSID").
#define TANUVIA_CLSID_TEXT "{BE127174-D735-4532-B573-72053ECB5AEC}"
