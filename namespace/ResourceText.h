// Texts of the library's string table, for every part of the library.
#pragma once

#include <windows.h>

#include "archive/SizeText.h"

// Loads string `id` into `out` (empty text when it is missing).
void LoadLibraryString(UINT id, char* out, int size);

// The seven size patterns of the string table (ids 20 to 26), loaded for one use, for SizeText.
struct LibrarySizePatterns {
  LibrarySizePatterns();
  LibrarySizePatterns(const LibrarySizePatterns&) = delete;
  LibrarySizePatterns& operator=(const LibrarySizePatterns&) = delete;

  SizePatterns patterns;

 private:
  char text_[7][64];  // each pattern is loaded into 64 bytes
};
