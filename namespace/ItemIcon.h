// The second stage of an item's icon, for the items GetIconOf sends on: folders get the library's
// own folder icons, icon files their own picture, other files the icon of their type.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include "namespace/ComObject.h"
#include "namespace/ItemId.h"

class Archive;

// Resource numbers of the folder icons in tanufold. A folder item's icon location names them the
// way icon locations name resources, negated ("tanufold.dll,-101"): hosts that load the icon from
// the location themselves, instead of calling Extract, find it there.
constexpr int FolderIconResource = 101;
constexpr int OpenFolderIconResource = 102;

class ItemIcon : public ComObject<ItemIcon, IExtractIconA, IExtractIconW> {
 public:
  static const InterfaceEntry* InterfaceTable();

  // Copies the item and holds a reference to `archive` (which may be null: icon files then give
  // E_UNEXPECTED from Extract).
  ItemIcon(const ItemId& item, Archive* archive);

  // IExtractIconA
  STDMETHODIMP GetIconLocation(UINT flags, LPSTR location, UINT size, int* index,
                               UINT* resultFlags) override;
  STDMETHODIMP Extract(LPCSTR location, UINT index, HICON* large, HICON* small,
                       UINT sizes) override;
  // IExtractIconW
  STDMETHODIMP GetIconLocation(UINT flags, LPWSTR location, UINT size, int* index,
                               UINT* resultFlags) override;
  STDMETHODIMP Extract(LPCWSTR location, UINT index, HICON* large, HICON* small,
                       UINT sizes) override;

 private:
  ~ItemIcon() override;
  bool IsIconFile() const;
  HRESULT ExtractFolder(UINT index, HICON* large, HICON* small, UINT sizes) const;

  Archive* archive_;
  ItemId item_;
  char extension_[80] = "";
};

// The folder's GetUIObjectOf for IID_IExtractIconA or IID_IExtractIconW with one item.
// E_INVALIDARG for an identifier that is not an archive item.
HRESULT CreateItemIcon(LPCITEMIDLIST item, Archive* archive, REFIID iid, void** out);
