// The context menu of members selected in an archive folder: the registry verbs of the first
// member's file type first (the first one bold), then extraction, copy, paste into a folder
// member, delete, rename and the property sheet.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <vector>

#include "namespace/ComObject.h"
#include "namespace/ItemId.h"

class ArchiveFolder;

class ItemContextMenu : public ComObject<ItemContextMenu, IContextMenu> {
 public:
  static const InterfaceEntry* InterfaceTable();
  // The folder's maker for IID_IContextMenu over `count` of its items.
  static HRESULT Create(ArchiveFolder* folder, UINT count, LPCITEMIDLIST* items, REFIID iid,
                        void** out);

  STDMETHODIMP QueryContextMenu(HMENU menu, UINT position, UINT first, UINT last,
                                UINT flags) override;
  STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* info) override;
  STDMETHODIMP GetCommandString(UINT_PTR command, UINT kind, UINT* reserved, LPSTR buffer,
                                UINT size) override;

  ItemContextMenu(ArchiveFolder* folder, std::vector<ItemId> items);

 private:
  ~ItemContextMenu() override;

  bool OneFolderItem() const { return items_.size() == 1 && IsFolderItem(items_[0]); }
  // The selected items as the shell passes them (one-item lists), for the helpers that take them.
  std::vector<LPCITEMIDLIST> Lists(std::vector<std::vector<BYTE>>* storage) const;
  HRESULT Browse(HWND owner, UINT flags) const;
  HRESULT Delete(HWND owner) const;
  // Puts the first item into label editing in the active view of the owner's browser (or the
  // folder's own view); E_FAIL when there is no view.
  HRESULT Rename(HWND owner) const;
  HRESULT Copy() const;

  ArchiveFolder* folder_;
  std::vector<ItemId> items_;
  HGLOBAL verbs_ = nullptr;  // VerbRecords of the last QueryContextMenu
  UINT verbCount_ = 0;
};
