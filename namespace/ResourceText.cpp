#include "namespace/ResourceText.h"

#include "namespace/ModuleState.h"
#include "resources/resource.h"

void LoadLibraryString(UINT id, char* out, int size) {
  if (size <= 0) return;
  out[0] = '\0';
  if (LoadStringA(ModuleInstance, id, out, size) <= 0) out[0] = '\0';
}

LibrarySizePatterns::LibrarySizePatterns() {
  for (int i = 0; i < 7; ++i) {
    LoadLibraryString(IDS_SIZE_BYTES + i, text_[i], sizeof text_[i]);
    patterns.text[i] = text_[i];
  }
}
