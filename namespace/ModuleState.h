// The library's process-wide state, read by the rest of the library. Nothing else in the library
// is global and mutable. It is set up in two halves: what needs only the kernel (module handle,
// platform flags, temporary directory, the list of temporary files) while the library is loaded,
// under the system's loader lock; everything that calls into another library (OLE, the registry,
// SHELL32, the clipboard formats) once on first use, by the entry point that creates objects, so
// that loading the library can never deadlock its host.
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

// Process attach: only the kernel's half (safe under the loader lock). Process detach: deletes
// the temporary files; `terminating` (the process is ending) skips waiting for the list's lock,
// which a thread killed by the exit may still hold, and frees nothing else.
void AttachModuleState(HINSTANCE instance);
void DetachModuleState(bool terminating);

// Holds the other half set up while it lives: the first holder on any thread sets it up (once,
// the others wait); the objects made meanwhile keep it, as ReleaseUnusedModuleState keeps it
// while any object lives. Never to be used from DllMain.
class ModuleStateUse {
 public:
  ModuleStateUse();
  ~ModuleStateUse();
  ModuleStateUse(const ModuleStateUse&) = delete;
  ModuleStateUse& operator=(const ModuleStateUse&) = delete;
};

// When no object of the library lives and no ModuleStateUse is held: releases the task allocator
// and SHELL32 and returns true (the next use sets them up again); otherwise false, nothing changed.
bool ReleaseUnusedModuleState();

// Both halves at once, for programs that carry the library's code in their own module (tests,
// benchmarks, galleries), outside any loader lock.
void LoadModuleState(HINSTANCE instance);
void UnloadModuleState();
