#include "browse/BrowserFrame.h"

#include <commctrl.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* FrameClass = "TanuviaBrowserFrame";
// Sent by views to their owner to find the browser; answered without a reference added.
constexpr UINT GetShellBrowserMessage = WM_USER + 7;

}  // namespace

BrowserFrame::BrowserFrame() = default;

BrowserFrame::~BrowserFrame() {
  if (view_) {
    view_->UIActivate(SVUIA_DEACTIVATE);
    view_->DestroyViewWindow();
    view_->Release();
    view_ = nullptr;
  }
  for (Level& level : levels_) {
    level.folder->Release();
    ILFree(level.absolute);
    if (level.relative) ILFree(level.relative);
  }
  levels_.clear();
  if (window_) DestroyWindow(window_);
}

bool BrowserFrame::Open(IShellFolder* root, LPCITEMIDLIST rootList, const char* title, int show) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = FrameClass;
  RegisterClassA(&windowClass);
  std::snprintf(title_, sizeof title_, "%s", title);
  window_ = CreateWindowExA(0, FrameClass, title_, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                            CW_USEDEFAULT, CW_USEDEFAULT, 720, 480, nullptr, nullptr,
                            GetModuleHandleA(nullptr), this);
  if (!window_) return false;
  root->AddRef();
  levels_.push_back(Level{root, ILClone(rootList), nullptr});
  if (!ShowLevel()) return false;
  ShowWindow(window_, show);
  UpdateWindow(window_);
  return true;
}

bool BrowserFrame::ShowLevel() {
  IShellFolder* folder = levels_.back().folder;
  IShellView* view = nullptr;
  if (FAILED(folder->CreateViewObject(window_, IID_IShellView, reinterpret_cast<void**>(&view))) ||
      !view)
    return false;
  // The browser's own choice; the archive view may replace it with the user's start-up mode.
  FOLDERSETTINGS settings = {FVM_ICON, 0};
  if (view_) view_->GetCurrentInfo(&settings);
  RECT area;
  GetClientRect(window_, &area);
  HWND created = nullptr;
  if (FAILED(view->CreateViewWindow(view_, &settings, this, &area, &created)) || !created) {
    view->Release();
    return false;
  }
  if (view_) {
    view_->UIActivate(SVUIA_DEACTIVATE);
    view_->DestroyViewWindow();
    view_->Release();
  }
  view_ = view;
  viewWindow_ = created;
  view_->UIActivate(SVUIA_ACTIVATE_FOCUS);
  Layout();
  UpdateTitle();
  return true;
}

bool BrowserFrame::Enter(LPCITEMIDLIST relative) {
  IShellFolder* current = levels_.back().folder;
  IShellFolder* child = nullptr;
  if (FAILED(current->BindToObject(relative, nullptr, IID_IShellFolder,
                                   reinterpret_cast<void**>(&child))) ||
      !child)
    return false;
  Level level{child, ILCombine(levels_.back().absolute, relative), ILClone(relative)};
  levels_.push_back(level);
  if (ShowLevel()) return true;
  levels_.pop_back();
  child->Release();
  ILFree(level.absolute);
  ILFree(level.relative);
  return false;
}

bool BrowserFrame::Leave() {
  if (levels_.size() < 2) return false;
  Level top = levels_.back();
  levels_.pop_back();
  bool shown = ShowLevel();
  top.folder->Release();
  ILFree(top.absolute);
  ILFree(top.relative);
  return shown;
}

void BrowserFrame::UpdateTitle() {
  // The archive path, then the path of the open folder inside it as its folder names it.
  char text[2 * MAX_PATH];
  std::snprintf(text, sizeof text, "%s", title_);
  if (levels_.size() > 1) {
    const Level& top = levels_.back();
    const Level& parent = levels_[levels_.size() - 2];
    STRRET name = {};
    char inner[MAX_PATH] = "";
    if (SUCCEEDED(parent.folder->GetDisplayNameOf(top.relative, SHGDN_FORPARSING, &name)))
      StrRetToBufA(&name, top.relative, inner, sizeof inner);
    std::snprintf(text, sizeof text, "%s\\%s", title_, inner);
  }
  SetWindowTextA(window_, text);
}

void BrowserFrame::Layout() {
  if (!viewWindow_) return;
  RECT area;
  GetClientRect(window_, &area);
  MoveWindow(viewWindow_, 0, 0, area.right, area.bottom, TRUE);
}

bool BrowserFrame::TranslateViewAccelerator(MSG* message) {
  if (message->message == WM_KEYDOWN && message->wParam == VK_BACK) {
    Leave();
    return true;
  }
  return view_ && view_->TranslateAccelerator(message) == S_OK;
}

LPITEMIDLIST BrowserFrame::SelectedItem(IShellView* view) const {
  IFolderView* folderView = nullptr;
  if (!view || FAILED(view->QueryInterface(IID_IFolderView,
                                           reinterpret_cast<void**>(&folderView))))
    return nullptr;
  LPITEMIDLIST item = nullptr;
  int index = -1;
  if (FAILED(folderView->GetFocusedItem(&index)) || index < 0)
    folderView->GetSelectionMarkedItem(&index);
  if (index >= 0 && FAILED(folderView->Item(index, &item))) item = nullptr;
  folderView->Release();
  return item;
}

LRESULT CALLBACK BrowserFrame::WindowProc(HWND window, UINT message, WPARAM wParam,
                                          LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<BrowserFrame*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self && self->window_ == window) return self->Handle(message, wParam, lParam);
  return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT BrowserFrame::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case GetShellBrowserMessage:
      return reinterpret_cast<LRESULT>(static_cast<IShellBrowser*>(this));
    case WM_SIZE:
      Layout();
      return 0;
    case WM_SETFOCUS:
      if (viewWindow_) SetFocus(viewWindow_);
      return 0;
    case WM_CLOSE:
      if (view_) {
        view_->UIActivate(SVUIA_DEACTIVATE);
        view_->DestroyViewWindow();
        view_->Release();
        view_ = nullptr;
        viewWindow_ = nullptr;
      }
      DestroyWindow(window_);
      return 0;
    case WM_DESTROY:
      window_ = nullptr;
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window_, message, wParam, lParam);
  }
}

// ----- IUnknown -----

STDMETHODIMP BrowserFrame::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleWindow) ||
      IsEqualIID(iid, IID_IShellBrowser))
    *out = static_cast<IShellBrowser*>(this);
  else if (IsEqualIID(iid, IID_ICommDlgBrowser))
    *out = static_cast<ICommDlgBrowser*>(this);
  if (!*out) return E_NOINTERFACE;
  AddRef();
  return S_OK;
}
STDMETHODIMP_(ULONG) BrowserFrame::AddRef() { return ++references_; }
STDMETHODIMP_(ULONG) BrowserFrame::Release() { return references_ > 1 ? --references_ : 1; }

// ----- IShellBrowser -----

STDMETHODIMP BrowserFrame::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = window_;
  return S_OK;
}
STDMETHODIMP BrowserFrame::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }
STDMETHODIMP BrowserFrame::InsertMenusSB(HMENU, LPOLEMENUGROUPWIDTHS) { return S_OK; }
STDMETHODIMP BrowserFrame::SetMenuSB(HMENU, HOLEMENU, HWND) { return S_OK; }
STDMETHODIMP BrowserFrame::RemoveMenusSB(HMENU) { return S_OK; }
STDMETHODIMP BrowserFrame::SetStatusTextSB(LPCOLESTR) { return S_OK; }
STDMETHODIMP BrowserFrame::EnableModelessSB(BOOL) { return S_OK; }
STDMETHODIMP BrowserFrame::TranslateAcceleratorSB(MSG*, WORD) { return S_FALSE; }

STDMETHODIMP BrowserFrame::BrowseObject(LPCITEMIDLIST list, UINT flags) {
  if (flags & SBSP_PARENT) return Leave() ? S_OK : E_FAIL;
  if (!list) return E_INVALIDARG;
  if (flags & SBSP_RELATIVE) return Enter(list) ? S_OK : E_FAIL;
  // An absolute list: one of the open levels, or a folder below the root.
  for (std::size_t i = 0; i < levels_.size(); ++i) {
    if (ILIsEqual(levels_[i].absolute, list)) {
      while (levels_.size() > i + 1) {
        Level top = levels_.back();
        levels_.pop_back();
        top.folder->Release();
        ILFree(top.absolute);
        ILFree(top.relative);
      }
      return ShowLevel() ? S_OK : E_FAIL;
    }
  }
  LPCITEMIDLIST below = ILFindChild(levels_.back().absolute, list);
  if (below && below->mkid.cb) return Enter(below) ? S_OK : E_FAIL;
  return E_FAIL;
}

STDMETHODIMP BrowserFrame::GetViewStateStream(DWORD, IStream** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP BrowserFrame::GetControlWindow(UINT, HWND* out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP BrowserFrame::SendControlMsg(UINT, UINT, WPARAM, LPARAM, LRESULT* result) {
  if (result) *result = 0;
  return S_OK;
}
STDMETHODIMP BrowserFrame::QueryActiveShellView(IShellView** out) {
  if (!out) return E_POINTER;
  *out = view_;
  if (!view_) return E_FAIL;
  view_->AddRef();
  return S_OK;
}
STDMETHODIMP BrowserFrame::OnViewWindowActive(IShellView*) { return S_OK; }
STDMETHODIMP BrowserFrame::SetToolbarItems(LPTBBUTTON, UINT, UINT) { return S_OK; }

// ----- ICommDlgBrowser -----

STDMETHODIMP BrowserFrame::OnDefaultCommand(IShellView* view) {
  // A double-clicked folder opens in this window; anything else is left to the view.
  LPITEMIDLIST item = SelectedItem(view);
  if (!item) return S_FALSE;
  SFGAOF attributes = SFGAO_FOLDER;
  LPCITEMIDLIST items[1] = {item};
  HRESULT handled = S_FALSE;
  if (SUCCEEDED(levels_.back().folder->GetAttributesOf(1, items, &attributes)) &&
      (attributes & SFGAO_FOLDER))
    handled = Enter(item) ? S_OK : S_FALSE;
  ILFree(item);
  return handled;
}
STDMETHODIMP BrowserFrame::OnStateChange(IShellView*, ULONG) { return S_OK; }
STDMETHODIMP BrowserFrame::IncludeObject(IShellView*, LPCITEMIDLIST) { return S_OK; }
