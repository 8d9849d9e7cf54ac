#include "namespace/IconIndex.h"

#include "archive/PathName.h"
#include "namespace/ItemId.h"
#include "namespace/Settings.h"

namespace {

bool ExtensionIs(const char* extension, const char* wanted) {
  return extension && lstrcmpiA(extension, wanted) == 0;
}

}  // namespace

HRESULT ItemIconIndex(LPCITEMIDLIST item, UINT flags, int* index) {
  const ItemId* facts = AsItemId(item);
  if (!index || !facts) return E_INVALIDARG;
  if (IsFolderItem(*facts)) {
    *index = (flags & GIL_OPENICON) ? OpenFolderIconIndex : FolderIconIndex;
    return S_OK;
  }
  const char* extension = PathExtension(PathNamePart(facts->path));
  // Programs run by the command interpreter have no icon of their own worth decoding.
  if (ExtensionIs(extension, ".com") || ExtensionIs(extension, ".bat") ||
      ExtensionIs(extension, ".cmd")) {
    *index = ApplicationIconIndex;
    return S_OK;
  }
  if (DecodeImage() == 1 && facts->originalSize <= DecodeImageLimit) return S_FALSE;
  *index = ExtensionIs(extension, ".exe") ? ApplicationIconIndex : DocumentIconIndex;
  return S_OK;
}
