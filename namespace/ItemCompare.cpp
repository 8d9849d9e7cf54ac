#include "namespace/ItemCompare.h"

#include <shellapi.h>

#include <cstring>

namespace {

template <typename T>
int Order(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

int Sign(int value) { return value < 0 ? -1 : (value > 0 ? 1 : 0); }

// The method field is six bytes from an archive; it is compared as a terminated copy.
int CompareMethods(const ItemId& a, const ItemId& b) {
  char left[sizeof a.method + 1] = {};
  char right[sizeof b.method + 1] = {};
  std::memcpy(left, a.method, sizeof a.method);
  std::memcpy(right, b.method, sizeof b.method);
  return Sign(lstrcmpA(left, right));
}

int CompareTypeNames(const ItemId& a, const ItemId& b) {
  SHFILEINFOA left = {};
  SHFILEINFOA right = {};
  SHGetFileInfoA(a.path, 0, &left, sizeof left, SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES);
  SHGetFileInfoA(b.path, 0, &right, sizeof right, SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES);
  return Sign(lstrcmpA(left.szTypeName, right.szTypeName));
}

}  // namespace

std::uint32_t ItemRatioPerMille(const ItemId& item) {
  if (IsFolderItem(item) || item.originalSize == 0) return 0;
  // Both sizes may come close to 4 GB: the product needs 64 bits.
  std::uint64_t packed = static_cast<std::uint32_t>(item.packedSize);
  return static_cast<std::uint32_t>(packed * 1000u / item.originalSize);
}

int CompareItems(int column, const ItemId& first, const ItemId& second) {
  switch (column) {
    case ColumnName: {
      bool a = IsFolderItem(first);
      bool b = IsFolderItem(second);
      if (a != b) return a ? -1 : 1;
      return Sign(lstrcmpA(first.path, second.path));
    }
    case ColumnSize:
      return Order(first.originalSize, second.originalSize);
    case ColumnType:
      return CompareTypeNames(first, second);
    case ColumnDate:
      return Order(first.modifyTime, second.modifyTime);
    case ColumnRatio:
      return Order(ItemRatioPerMille(first), ItemRatioPerMille(second));
    case ColumnMethod:
      return CompareMethods(first, second);
    case ColumnCrc:
      return Order(first.crc, second.crc);
    default:
      return 0;
  }
}

HRESULT CompareItemLists(LPARAM rule, LPCITEMIDLIST first, LPCITEMIDLIST second, int* result) {
  const DWORD flags = static_cast<DWORD>(rule) & ~static_cast<DWORD>(SHCIDS_COLUMNMASK);
  const int column = (flags & SHCIDS_CANONICALONLY)
                         ? ColumnName
                         : static_cast<int>(static_cast<DWORD>(rule) & SHCIDS_COLUMNMASK);
  *result = 0;
  // Each item carries its whole path, so a deeper level compares as its own folder would.
  while (first && second && first->mkid.cb != 0 && second->mkid.cb != 0) {
    const ItemId* a = AsItemId(first);
    const ItemId* b = AsItemId(second);
    if (!a || !b) return E_INVALIDARG;
    int order = CompareItems(column, *a, *b);
    if (order == 0 && (flags & SHCIDS_ALLFIELDS)) order = Sign(std::memcmp(a, b, sizeof *a));
    if (order != 0) {
      *result = order;
      return S_OK;
    }
    first = reinterpret_cast<LPCITEMIDLIST>(reinterpret_cast<const BYTE*>(first) + a->size);
    second = reinterpret_cast<LPCITEMIDLIST>(reinterpret_cast<const BYTE*>(second) + b->size);
  }
  if (!first || !second) return E_INVALIDARG;
  *result = Order(first->mkid.cb != 0, second->mkid.cb != 0);
  return S_OK;
}
