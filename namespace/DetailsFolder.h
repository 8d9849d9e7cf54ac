// The folder as the archive view hands it to the shell's standard view when the folder itself
// lacks IShellFolder2. Some shells' standard views never send the view callback its details
// request and read every column text, the name included, only through IShellFolder2; a folder
// without that interface would show rows without text. This adapter offers IShellFolder2 over
// such a folder: the column methods answer with the archive's columns (ItemDetails.h), the
// IShellFolder methods go to the folder unchanged. It is an object of its own: it answers only
// IUnknown, IShellFolder and IShellFolder2, so every interface it hands out has one identity.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include "namespace/ComObject.h"
#include "namespace/ItemDetails.h"

class DetailsFolder : public ComObject<DetailsFolder, ItemColumns> {
 public:
  static const InterfaceEntry* InterfaceTable();
  explicit DetailsFolder(IShellFolder* folder);

  // IShellFolder: passed on.
  STDMETHODIMP ParseDisplayName(HWND owner, LPBC context, LPOLESTR name, ULONG* eaten,
                                LPITEMIDLIST* list, ULONG* attributes) override;
  STDMETHODIMP EnumObjects(HWND owner, SHCONTF flags, IEnumIDList** out) override;
  STDMETHODIMP BindToObject(LPCITEMIDLIST list, LPBC context, REFIID iid, void** out) override;
  STDMETHODIMP BindToStorage(LPCITEMIDLIST list, LPBC context, REFIID iid, void** out) override;
  STDMETHODIMP CompareIDs(LPARAM column, LPCITEMIDLIST first, LPCITEMIDLIST second) override;
  STDMETHODIMP CreateViewObject(HWND owner, REFIID iid, void** out) override;
  STDMETHODIMP GetAttributesOf(UINT count, LPCITEMIDLIST* items, SFGAOF* mask) override;
  STDMETHODIMP GetUIObjectOf(HWND owner, UINT count, LPCITEMIDLIST* items, REFIID iid,
                             UINT* reserved, void** out) override;
  STDMETHODIMP GetDisplayNameOf(LPCITEMIDLIST item, SHGDNF flags, STRRET* name) override;
  STDMETHODIMP SetNameOf(HWND owner, LPCITEMIDLIST item, LPCOLESTR name, SHGDNF flags,
                         LPITEMIDLIST* newItem) override;

 private:
  ~DetailsFolder() override;
  IShellFolder* folder_;
};
