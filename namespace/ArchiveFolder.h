// The shell folder an archive file becomes when it is opened, and each folder level inside it.
// One object answers IShellFolder, IPersistFolder and IShellIcon. The root object is created by
// the class factory and initialised with the archive file's identifier list; sub-folders are made
// by BindToObject and share the root's Archive, each holding a reference.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstdint>

#include "namespace/ComObject.h"
#include "namespace/ItemIdList.h"

class Archive;
class ArchiveView;

class ArchiveFolder : public ComObject<ArchiveFolder, IShellFolder, IPersistFolder, IShellIcon> {
 public:
  static const InterfaceEntry* InterfaceTable();
  // The class factory's maker for IID_IShellFolder: a folder not yet initialised.
  static HRESULT Create(REFIID iid, void** out);

  ArchiveFolder();

  // IShellFolder
  STDMETHODIMP ParseDisplayName(HWND owner, LPBC bindContext, LPOLESTR name, ULONG* eaten,
                                LPITEMIDLIST* list, ULONG* attributes) override;
  STDMETHODIMP EnumObjects(HWND owner, SHCONTF flags, IEnumIDList** out) override;
  STDMETHODIMP BindToObject(LPCITEMIDLIST list, LPBC bindContext, REFIID iid,
                            void** out) override;
  STDMETHODIMP BindToStorage(LPCITEMIDLIST list, LPBC bindContext, REFIID iid,
                             void** out) override;
  STDMETHODIMP CompareIDs(LPARAM column, LPCITEMIDLIST first, LPCITEMIDLIST second) override;
  STDMETHODIMP CreateViewObject(HWND owner, REFIID iid, void** out) override;
  STDMETHODIMP GetAttributesOf(UINT count, LPCITEMIDLIST* items, SFGAOF* mask) override;
  STDMETHODIMP GetUIObjectOf(HWND owner, UINT count, LPCITEMIDLIST* items, REFIID iid,
                             UINT* reserved, void** out) override;
  STDMETHODIMP GetDisplayNameOf(LPCITEMIDLIST item, SHGDNF flags, STRRET* name) override;
  STDMETHODIMP SetNameOf(HWND owner, LPCITEMIDLIST item, LPCOLESTR name, SHGDNF flags,
                         LPITEMIDLIST* newItem) override;

  // IPersistFolder
  STDMETHODIMP GetClassID(CLSID* classId) override;
  STDMETHODIMP Initialize(LPCITEMIDLIST list) override;

  // IShellIcon
  STDMETHODIMP GetIconOf(LPCITEMIDLIST item, UINT flags, int* index) override;

  // Number of backslashes in innerPath (0 at the root), double-byte characters skipped whole.
  std::int32_t depth = 0;
  // The folder's absolute identifier list: the archive file's, then one ItemId per folder level.
  ItemIdList absoluteIdList;
  // The view made by the latest CreateViewObject for IID_IShellView; not counted. The view clears
  // it when it is destroyed; a change of the archive posts the refresh command to its window
  // (see ChangeNotice.h).
  ArchiveView* view = nullptr;
  // The archive shared by every folder object of one window; this object holds one reference.
  Archive* archive = nullptr;
  // The window of the latest view, or null when there is none (yet).
  HWND ViewWindow() const;
  // After a committed change: tells the shell about the archive file and this folder, and has
  // the view re-read it.
  void AnnounceChange();

  // Path of the archive file on disk.
  char archivePath[MAX_PATH] = "";
  // This folder's path inside the archive, ending with a backslash; empty at the root.
  char innerPath[MAX_PATH] = "";

 protected:
  ~ArchiveFolder() override;
};

