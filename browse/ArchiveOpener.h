// Opens an archive file the way the shell does: loads tanufold, asks its class factory for a
// folder and initialises the folder with the archive file's identifier list (IPersistFolder).
// Nothing but the library's exports and the shell's interfaces is used.
#pragma once

#include <windows.h>
#include <shlobj.h>

struct OpenedArchive {
  HMODULE library = nullptr;     // tanufold, kept loaded
  IShellFolder* folder = nullptr;  // one reference
  LPITEMIDLIST list = nullptr;   // the archive file's absolute identifier list (task allocator)
  char name[MAX_PATH] = "";      // the archive file's name without its folder

  OpenedArchive() = default;
  OpenedArchive(const OpenedArchive&) = delete;
  OpenedArchive& operator=(const OpenedArchive&) = delete;
  // Releases the folder and frees the list; the library stays loaded (the shell unloads it later).
  ~OpenedArchive();
};

// Loads the library from `dll` (or tanufold.dll beside this program, then on the search path,
// when `dll` is null) and opens `archive` in it. On failure returns the HRESULT and sets
// `*failure` to a short description of the step that failed.
HRESULT OpenArchive(const char* dll, const char* archive, OpenedArchive* out,
                    const char** failure);

// Opens `archive` through the class the installer registered (CoCreateInstance of the class
// identifier for IShellFolder), as the shell itself finds the library.
HRESULT OpenRegisteredArchive(const char* archive, OpenedArchive* out, const char** failure);
