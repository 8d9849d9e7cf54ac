// The library's process-wide state: set up when the library is loaded, torn down when it is
// unloaded, read by the rest of the library. Nothing else in the library is global and mutable.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <shellapi.h>

// Module handle of tanufold: the source of every string, menu, dialog, icon and bitmap.
extern HINSTANCE ModuleInstance;
// Platform flags from GetVersionExA: the OS byte of new members, wide icon calls, folder times.
extern int IsWindows95;
extern int IsWindowsNT;
// The system's display name of the folder type (default value of HKCR\Directory); may be empty.
extern char FolderTypeName[80];
// SHGetFileInfoW, resolved on Windows NT only; null elsewhere or when SHELL32 did not load.
using ShGetFileInfoWFunction = DWORD_PTR(WINAPI*)(LPCWSTR, DWORD, SHFILEINFOW*, UINT, UINT);
extern ShGetFileInfoWFunction ShGetFileInfoW;
// The shell's task allocator: every item identifier handed to the shell comes from it.
extern IMalloc* TaskAllocator;
// The user's temporary directory, ending with a backslash; empty when it could not be read.
extern char TempDirectory[MAX_PATH];

// Clipboard and drag formats registered at load.
struct ClipboardFormatIds {
  UINT fileName;             // "FileName"
  UINT fileNameW;            // "FileNameW"
  UINT fileNameMap;          // "FileNameMap"
  UINT fileNameMapW;         // "FileNameMapW"
  UINT fileGroupDescriptor;  // "FileGroupDescriptor"
  UINT fileGroupDescriptorW; // "FileGroupDescriptorW"
  UINT fileContents;         // "FileContents"
  UINT shellIdListArray;     // "Shell IDList Array"
  UINT shellObjectOffsets;   // "Shell Object Offsets"
  UINT preferredDropEffect;  // "Preferred DropEffect"
};
extern ClipboardFormatIds ClipboardFormats;

// Files and folders the library wrote for the shell (decoded members and the folders holding
// them); deleted, read-only or not, when the library is unloaded, the last added first (so a
// folder added before its files goes after them). False when memory is short (the path is then
// not remembered).
bool AddTempFile(const char* path);
// Number of paths currently remembered.
int TempFileCount();

// The count of live COM objects of the library: raised by every object's constructor, lowered by
// its destructor, from any thread.
void IncrementObjectCount();
void DecrementObjectCount();
LONG ObjectCount();

// The load steps (process attach) and unload steps (process detach), in their order.
void LoadModuleState(HINSTANCE instance);
void UnloadModuleState();
