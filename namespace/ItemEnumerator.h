// The items of one folder level, built all at once by EnumFolder and handed to the shell as fresh
// copies through IEnumIDList. The enumerator does not see later changes of the archive.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstdint>

#include "namespace/ComObject.h"
#include "namespace/ItemId.h"
#include "namespace/ItemIdList.h"

class Archive;

class ItemEnumerator : public ComObject<ItemEnumerator, IEnumIDList> {
 public:
  static const InterfaceEntry* InterfaceTable();

  // Adds one item to the end of the list (while the enumerator is being built). 1 or 0.
  int Add(const ItemId& item);
  // Ends building: the count is the number of items and the cursor the first of them.
  void Finish();
  std::uint32_t Count() const { return count_; }
  std::uint32_t Position() const { return position_; }

  STDMETHODIMP Next(ULONG wanted, LPITEMIDLIST* out, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumIDList** out) override;

 private:
  std::uint32_t count_ = 0;
  std::uint32_t position_ = 0;
  ItemIdList items_;
  const std::uint8_t* cursor_ = nullptr;
};

// Builds the items of the folder `innerPath` (ending with a backslash, empty at the root) at
// `depth` of `archive`: with SHCONTF_NONFOLDERS the files that lie directly in it, then with
// SHCONTF_FOLDERS its sub-folders, whether the archive has headers for them or they exist only as
// prefixes of member paths. Returns the enumerator with one reference in `*out`, or
// E_OUTOFMEMORY. An archive whose catalogue cannot be read gives an empty enumeration.
HRESULT EnumFolder(Archive* archive, const char* innerPath, std::int32_t depth, DWORD flags,
                   IEnumIDList** out);
