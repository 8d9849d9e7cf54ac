// The view of an archive folder: the shell's standard folder view (built with our callback) inside
// a thin IShellView that adds the start-up view mode and auto-arrange from the settings and the
// two option pages. Its lifetime follows the inner view's reference count: AddRef is passed on,
// and when a Release brings the inner view back to the count it had right after construction the
// last outside reference is gone and both are destroyed.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include "namespace/ComObject.h"

class ArchiveView : public ComObject<ArchiveView, IShellView> {
 public:
  static const InterfaceEntry* InterfaceTable();

  // Builds the standard view over `folder` (its absolute identifier list `absoluteIdList`).
  // `viewSlot` is the folder's record of its latest view: set to the new view here and cleared
  // when this view is destroyed, if it still points at it. Null when the shell's view cannot be
  // made or memory is short; nothing is left behind then.
  static ArchiveView* Create(IShellFolder* folder, LPCITEMIDLIST absoluteIdList,
                             ArchiveView** viewSlot);

  // IUnknown: IUnknown and IShellView give this object; other interfaces are the inner view's.
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IOleWindow
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;
  // IShellView
  STDMETHODIMP TranslateAccelerator(MSG* message) override;
  STDMETHODIMP EnableModeless(BOOL enable) override;
  STDMETHODIMP UIActivate(UINT state) override;
  STDMETHODIMP Refresh() override;
  STDMETHODIMP CreateViewWindow(IShellView* previous, LPCFOLDERSETTINGS settings,
                                IShellBrowser* browser, RECT* rectangle, HWND* window) override;
  STDMETHODIMP DestroyViewWindow() override;
  STDMETHODIMP GetCurrentInfo(LPFOLDERSETTINGS settings) override;
  STDMETHODIMP AddPropertySheetPages(DWORD reserved, LPFNADDPROPSHEETPAGE addPage,
                                     LPARAM parameter) override;
  STDMETHODIMP SaveViewState() override;
  STDMETHODIMP SelectItem(LPCITEMIDLIST item, UINT flags) override;
  STDMETHODIMP GetItemObject(UINT item, REFIID iid, void** out) override;

  // The shell's view inside (no reference added), for tests and the host.
  IShellView* InnerView() const { return inner_; }

 private:
  ArchiveView() = default;
  ~ArchiveView() override = default;

  IShellView* inner_ = nullptr;
  // The folder as the inner view sees it (see DetailsFolder); holds the folder.
  IShellFolder2* shown_ = nullptr;
  ULONG baseline_ = 0;
  ArchiveView** viewSlot_ = nullptr;
  // The view's window while it answers the refresh command (see ChangeNotice.h).
  HWND window_ = nullptr;
};

// The folder's CreateViewObject for IID_IShellView: a new view with one reference in `*out`,
// recorded in `*viewSlot`. E_OUTOFMEMORY when it cannot be made.
HRESULT CreateArchiveViewObject(IShellFolder* folder, LPCITEMIDLIST absoluteIdList,
                                ArchiveView** viewSlot, void** out);

// Folder settings as a new archive window starts: the view mode of the DefaultView setting (when
// not 0) and auto-arrange when AutoArrange is 1; the rest as the browser asked.
FOLDERSETTINGS StartupFolderSettings(FOLDERSETTINGS asked);
