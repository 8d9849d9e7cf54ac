// The sort order of items within one folder, by view column. The result is 1 when the first item
// sorts after the second, -1 before, 0 equal; there is no tie-break beyond the column's key.
#pragma once

#include "namespace/ItemId.h"

enum ItemColumn : int {
  ColumnName = 0,     // folders first, then lstrcmpA of the paths
  ColumnSize = 1,     // originalSize
  ColumnType = 2,     // the shell's type names of the paths
  ColumnDate = 3,     // modifyTime
  ColumnRatio = 4,    // per-mille packed / original
  ColumnMethod = 5,   // method text
  ColumnCrc = 6,      // crc
};

int CompareItems(int column, const ItemId& first, const ItemId& second);

// The folder's CompareIDs over two identifier lists relative to one folder. `rule` is its lParam:
// the column in the low word; SHCIDS_ALLFIELDS breaks a tie by the items' whole contents and
// SHCIDS_CANONICALONLY compares by name. Lists are compared level by level, the first level that
// differs decides and a list that ends first sorts first. S_OK with -1, 0 or 1 in `*result`, or
// E_INVALIDARG when an item is not one of ours.
HRESULT CompareItemLists(LPARAM rule, LPCITEMIDLIST first, LPCITEMIDLIST second, int* result);

// packedSize * 1000 / originalSize, truncated; 0 for a folder item or an empty member.
std::uint32_t ItemRatioPerMille(const ItemId& item);
