// What the shell offers for an archive file seen from outside: "ここに解凍(&X)" in the menu of a
// right-drag of exactly one archive onto a folder (extracting every member there), and the
// "ﾌｧｲﾙの概要" property page listing the archive's member files in archive order.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include "archive/PathName.h"
#include "namespace/ComObject.h"

class ArchiveFileExtension
    : public ComObject<ArchiveFileExtension, IShellExtInit, IContextMenu, IShellPropSheetExt> {
 public:
  static const InterfaceEntry* InterfaceTable();
  // The class factory's maker for IID_IShellExtInit.
  static HRESULT Create(REFIID iid, void** out);

  ArchiveFileExtension() = default;

  // IShellExtInit
  STDMETHODIMP Initialize(LPCITEMIDLIST folder, IDataObject* data, HKEY classKey) override;
  // IContextMenu
  STDMETHODIMP QueryContextMenu(HMENU menu, UINT position, UINT first, UINT last,
                                UINT flags) override;
  STDMETHODIMP InvokeCommand(LPCMINVOKECOMMANDINFO info) override;
  STDMETHODIMP GetCommandString(UINT_PTR command, UINT type, UINT* reserved, LPSTR name,
                                UINT size) override;
  // IShellPropSheetExt
  STDMETHODIMP AddPages(LPFNADDPROPSHEETPAGE addPage, LPARAM parameter) override;
  STDMETHODIMP ReplacePage(UINT pageId, LPFNADDPROPSHEETPAGE replace, LPARAM parameter) override;

  const char* ArchivePath() const { return archivePath_; }
  const char* FolderPath() const { return folderPath_; }

 protected:
  ~ArchiveFileExtension() override;

 private:
  // True when the data object names exactly one file ending in ".lzh" (any letter case); its
  // path is then in archivePath_.
  bool SingleArchive();

  IDataObject* data_ = nullptr;  // one reference held
  char folderPath_[MaxPath] = "";
  char archivePath_[MaxPath] = "";
};

// The summary page's list: the full path of every member file (folder entries left out) of the
// archive file at `path`, in archive order, each handed to `add`. Nothing for an archive that
// cannot be read.
void ListMemberFiles(const char* path, void (*add)(void* context, const char* memberPath),
                     void* context);
