#include "namespace/ArchiveView.h"

#include <commctrl.h>

#include <new>

#include "namespace/ChangeNotice.h"

#include "namespace/DetailsFolder.h"
#include "namespace/OptionPages.h"
#include "namespace/Settings.h"
#include "namespace/ViewCallback.h"

namespace {

// The shell's folder-view constructor, SHELL32 ordinal 174.
using CreateFolderViewFunction = HRESULT(WINAPI*)(CSFV*, IShellView**);

IShellView* CreateStandardView(IShellFolder* folder, LPCITEMIDLIST absoluteIdList) {
  HMODULE shell = GetModuleHandleA("SHELL32");
  if (!shell) shell = LoadLibraryA("SHELL32");
  if (!shell) return nullptr;
  auto create = reinterpret_cast<CreateFolderViewFunction>(
      reinterpret_cast<void*>(GetProcAddress(shell, MAKEINTRESOURCEA(174))));
  if (!create) return nullptr;
  CSFV record = {};
  record.cbSize = sizeof record;
  record.pshf = folder;
  record.psvOuter = nullptr;
  record.pidl = absoluteIdList;
  record.lEvents = 0;
  record.pfnCallback = ViewCallback;
  record.fvm = static_cast<FOLDERVIEWMODE>(0);
  IShellView* view = nullptr;
  if (FAILED(create(&record, &view))) return nullptr;
  return view;
}

// The refresh command reaches the view's window by a posted message (often from a worker thread);
// a shell view that does not know the command still re-reads its folder.
LRESULT CALLBACK RefreshOnCommand(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                  UINT_PTR id, DWORD_PTR data) {
  if (message == WM_COMMAND && LOWORD(wParam) == ViewRefreshCommand && lParam == 0) {
    reinterpret_cast<IShellView*>(data)->Refresh();
    return 0;
  }
  if (message == WM_NCDESTROY) RemoveWindowSubclass(window, RefreshOnCommand, id);
  return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace

const InterfaceEntry* ArchiveView::InterfaceTable() {
  static const InterfaceEntry table[] = {Offer<ArchiveView, IShellView>(IID_IShellView),
                                         Offer<ArchiveView, IShellView>(IID_IOleWindow),
                                         EndOfInterfaces()};
  return table;
}

ArchiveView* ArchiveView::Create(IShellFolder* folder, LPCITEMIDLIST absoluteIdList,
                                 ArchiveView** viewSlot) {
  if (!folder) return nullptr;
  ArchiveView* self = new (std::nothrow) ArchiveView();
  if (!self) return nullptr;
  // A folder with its own columns is shown as it is; another gets the adapter that adds them.
  if (FAILED(folder->QueryInterface(IID_IShellFolder2, reinterpret_cast<void**>(&self->shown_)))) {
    self->shown_ = new (std::nothrow) DetailsFolder(folder);
    if (!self->shown_) {
      delete self;
      return nullptr;
    }
    self->shown_->AddRef();
  }
  IShellView* made = CreateStandardView(self->shown_, absoluteIdList);
  if (!made || FAILED(made->QueryInterface(IID_IShellView, reinterpret_cast<void**>(
                                                                &self->inner_)))) {
    if (made) made->Release();
    self->inner_ = nullptr;
    self->shown_->Release();
    delete self;
    return nullptr;
  }
  // The count left after dropping the constructor's own reference: ours. Whenever a Release
  // brings the inner view back to it, nobody outside holds the view any more.
  self->baseline_ = made->Release();
  self->viewSlot_ = viewSlot;
  if (viewSlot) *viewSlot = self;
  return self;
}

HRESULT CreateArchiveViewObject(IShellFolder* folder, LPCITEMIDLIST absoluteIdList,
                                ArchiveView** viewSlot, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  ArchiveView* view = ArchiveView::Create(folder, absoluteIdList, viewSlot);
  if (!view) return E_OUTOFMEMORY;
  view->AddRef();
  *out = static_cast<IShellView*>(view);
  return S_OK;
}

FOLDERSETTINGS StartupFolderSettings(FOLDERSETTINGS asked) {
  // Setting values 1..4 are the shell's FVM_ICON, FVM_SMALLICON, FVM_LIST and FVM_DETAILS.
  int mode = DefaultView();
  if (mode != 0) asked.ViewMode = static_cast<UINT>(mode);
  if (AutoArrange() == 1) asked.fFlags |= FWF_AUTOARRANGE;
  return asked;
}

STDMETHODIMP ArchiveView::QueryInterface(REFIID iid, void** out) {
  // This object answers for the view itself, so the shell's calls to CreateViewWindow and
  // AddPropertySheetPages, and its Release, always pass through it; everything else the
  // standard view offers comes from the inner view.
  if (!out) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IShellView) ||
      IsEqualIID(iid, IID_IOleWindow)) {
    *out = static_cast<IShellView*>(this);
    AddRef();
    return S_OK;
  }
  return inner_->QueryInterface(iid, out);
}

STDMETHODIMP_(ULONG) ArchiveView::AddRef() { return inner_->AddRef(); }

STDMETHODIMP_(ULONG) ArchiveView::Release() {
  ULONG left = inner_->Release();
  if (left > baseline_) return left;
  // The last outside reference is gone (or the inner view dropped references of its own below
  // the baseline): forget the folder's record, drop what is left of the inner view, go.
  if (viewSlot_ && *viewSlot_ == this) *viewSlot_ = nullptr;
  if (window_ && IsWindow(window_)) RemoveWindowSubclass(window_, RefreshOnCommand, 1);
  while (left > 0) left = inner_->Release();
  inner_ = nullptr;
  shown_->Release();
  shown_ = nullptr;
  delete this;
  return 0;
}

STDMETHODIMP ArchiveView::GetWindow(HWND* window) { return inner_->GetWindow(window); }
STDMETHODIMP ArchiveView::ContextSensitiveHelp(BOOL enter) {
  return inner_->ContextSensitiveHelp(enter);
}
STDMETHODIMP ArchiveView::TranslateAccelerator(MSG* message) {
  return inner_->TranslateAccelerator(message);
}
STDMETHODIMP ArchiveView::EnableModeless(BOOL enable) { return inner_->EnableModeless(enable); }
STDMETHODIMP ArchiveView::UIActivate(UINT state) { return inner_->UIActivate(state); }
STDMETHODIMP ArchiveView::Refresh() { return inner_->Refresh(); }

STDMETHODIMP ArchiveView::CreateViewWindow(IShellView* previous, LPCFOLDERSETTINGS settings,
                                           IShellBrowser* browser, RECT* rectangle,
                                           HWND* window) {
  if (!settings) return inner_->CreateViewWindow(previous, settings, browser, rectangle, window);
  FOLDERSETTINGS startup = StartupFolderSettings(*settings);
  HRESULT result = inner_->CreateViewWindow(previous, &startup, browser, rectangle, window);
  if (SUCCEEDED(result) && window && *window) {
    window_ = *window;
    SetWindowSubclass(window_, RefreshOnCommand, 1,
                      reinterpret_cast<DWORD_PTR>(static_cast<IShellView*>(inner_)));
  }
  return result;
}

STDMETHODIMP ArchiveView::DestroyViewWindow() { return inner_->DestroyViewWindow(); }
STDMETHODIMP ArchiveView::GetCurrentInfo(LPFOLDERSETTINGS settings) {
  return inner_->GetCurrentInfo(settings);
}

STDMETHODIMP ArchiveView::AddPropertySheetPages(DWORD reserved, LPFNADDPROPSHEETPAGE addPage,
                                                LPARAM parameter) {
  if (addPage) AddOptionPages(addPage, parameter);
  return inner_->AddPropertySheetPages(reserved, addPage, parameter);
}

STDMETHODIMP ArchiveView::SaveViewState() { return inner_->SaveViewState(); }
STDMETHODIMP ArchiveView::SelectItem(LPCITEMIDLIST item, UINT flags) {
  return inner_->SelectItem(item, flags);
}
STDMETHODIMP ArchiveView::GetItemObject(UINT item, REFIID iid, void** out) {
  return inner_->GetItemObject(item, iid, out);
}
