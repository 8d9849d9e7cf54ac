#include "namespace/ItemPathParser.h"

#include <cstring>

#include "archive/NoCase.h"
#include "namespace/ItemEnumerator.h"
#include "namespace/ModuleState.h"

namespace {

const HRESULT NotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

}  // namespace

bool ItemFolderPath(const ItemId& item, char* out, std::size_t size) {
  std::size_t length = std::strlen(item.path);
  if (length + 2 > size) return false;
  std::memcpy(out, item.path, length);
  out[length] = '\\';
  out[length + 1] = '\0';
  return true;
}

HRESULT ParseItemPath(Archive* archive, const char* innerPath, std::int32_t depth,
                      const char* relative, ItemIdList* out) {
  if (!innerPath || !relative || !out) return E_INVALIDARG;
  // The member path wanted, as the items carry it: this folder's path followed by the name.
  char wanted[MAX_PATH];
  std::size_t inner = std::strlen(innerPath);
  std::size_t length = std::strlen(relative);
  if (length == 0 || inner + length >= sizeof wanted) return NotFound;
  std::memcpy(wanted, innerPath, inner);
  std::memcpy(wanted + inner, relative, length + 1);
  length += inner;
  char folder[MAX_PATH];
  std::memcpy(folder, innerPath, inner + 1);
  // Each level's items are the enumeration's own, so sub-folders without a header of their own
  // are found too; every step goes one level deeper, so the walk ends.
  for (;;) {
    IEnumIDList* items = nullptr;
    HRESULT result = EnumFolder(archive, folder, depth, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS,
                                &items);
    if (FAILED(result)) return result;
    bool found = false, deeper = false;
    LPITEMIDLIST got = nullptr;
    while (!found && !deeper && items->Next(1, &got, nullptr) == S_OK) {
      const ItemId* item = AsItemId(got);
      char next[MAX_PATH];
      if (item && CompareNoCase(wanted, item->path) == 0) {
        found = true;
      } else if (item && IsFolderItem(*item) && ItemFolderPath(*item, next, sizeof next) &&
                 PrefixEqualNoCase(wanted, next, std::strlen(next))) {
        deeper = true;
        std::memcpy(folder, next, std::strlen(next) + 1);
        // A name that ends with the backslash names the folder itself.
        found = std::strlen(next) == length;
      }
      if ((found || deeper) && !out->AppendItem(got)) result = E_OUTOFMEMORY;
      TaskAllocator->Free(got);
    }
    items->Release();
    if (FAILED(result)) return result;
    if (found) return S_OK;
    if (!deeper) return NotFound;
    ++depth;
  }
}
