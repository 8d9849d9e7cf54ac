// The context menu of an archive folder's background: new compression (files chosen in a file
// dialog), paste and the archive file's property sheet.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include "namespace/ComObject.h"

class ArchiveFolder;

class BackgroundContextMenu : public ComObject<BackgroundContextMenu, IContextMenu> {
 public:
  static const InterfaceEntry* InterfaceTable();
  // The folder's maker for CreateViewObject with IID_IContextMenu.
  static HRESULT Create(ArchiveFolder* folder, REFIID iid, void** out);

  STDMETHODIMP QueryContextMenu(HMENU menu, UINT position, UINT first, UINT last,
                                UINT flags) override;
  STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* info) override;
  STDMETHODIMP GetCommandString(UINT_PTR command, UINT kind, UINT* reserved, LPSTR buffer,
                                UINT size) override;

  explicit BackgroundContextMenu(ArchiveFolder* folder);

 private:
  ~BackgroundContextMenu() override;
  // Asks for files and compresses them into this folder of the archive, on this thread.
  HRESULT NewCompression(HWND owner);

  ArchiveFolder* folder_;
};
