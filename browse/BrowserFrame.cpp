#include "browse/BrowserFrame.h"

#include <commctrl.h>
#include <windowsx.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "archive/SizeText.h"
#include "browse/BrowseResource.h"

namespace {

constexpr const char* FrameClass = "TanuviaBrowserFrame";
// Sent by views to their owner to find the browser; answered without a reference added.
constexpr UINT GetShellBrowserMessage = WM_USER + 7;
// Posted to the frame when the view's selection changed; many changes make one status update.
constexpr UINT StatusMessage = WM_APP + 1;
// Posted when the view asks to browse: the view is replaced only once its own message is done.
constexpr UINT NavigateMessage = WM_APP + 2;

// Geometry of the top row and the status line, in pixels.
constexpr int Gap = 4;
constexpr int RowHeight = 30;
constexpr int ControlHeight = 22;
constexpr int UpWidth = 64;
constexpr int LabelWidth = 52;
constexpr int CountPartWidth = 200;

// The browser's own start-up mode when neither the command line nor the folder's view chooses.
constexpr UINT OwnViewMode = FVM_ICON;

void LoadText(UINT id, char* out, int size) {
  if (LoadStringA(GetModuleHandleA(nullptr), id, out, size) == 0) out[0] = '\0';
}

// The size text of a total that may pass 4 GB: SizeText below that, whole megabytes above.
void TotalSizeText(char* out, std::size_t size, std::uint64_t bytes) {
  if (bytes <= UINT32_MAX) {
    SizeText(out, size, static_cast<std::uint32_t>(bytes), false);
    return;
  }
  std::uint64_t megabytes = bytes / (1024 * 1024);
  std::snprintf(out, size, DefaultSizePatterns().text[6],
                static_cast<int>(megabytes > INT_MAX ? INT_MAX : megabytes));
}

// The original size of a file item, as the folder's details give it (the size column's text is
// rounded, the size property is exact); 0 when the folder does not say.
std::uint64_t ItemSize(IShellFolder2* details, LPCITEMIDLIST item) {
  static const SHCOLUMNID Size = {{0xB725F130, 0x47EF, 0x101A,
                                   {0xA5, 0xF1, 0x02, 0x60, 0x8C, 0x9E, 0xEB, 0xAC}},
                                  12};  // the storage property set's size
  VARIANT value;
  VariantInit(&value);
  if (!details || FAILED(details->GetDetailsEx(item, &Size, &value))) return 0;
  std::uint64_t size = value.vt == VT_UI8 ? value.ullVal : 0;
  VariantClear(&value);
  return size;
}

// The part of `list` below `parent`, or null when `list` does not start with `parent`; an empty
// rest means the two are the same. Items are compared byte by byte: the shell's own comparison
// knows only its own kinds of items.
LPCITEMIDLIST Below(LPCITEMIDLIST parent, LPCITEMIDLIST list) {
  for (; parent->mkid.cb; parent = ILGetNext(parent), list = ILGetNext(list)) {
    if (list->mkid.cb != parent->mkid.cb || std::memcmp(list, parent, parent->mkid.cb) != 0)
      return nullptr;
  }
  return list;
}

bool IsWritableEdit(HWND window) {
  char name[16] = "";
  GetClassNameA(window, name, sizeof name);
  return lstrcmpiA(name, "Edit") == 0 &&
         !(GetWindowLongA(window, GWL_STYLE) & ES_READONLY);
}

}  // namespace

BrowserFrame::BrowserFrame() = default;

BrowserFrame::~BrowserFrame() {
  if (pendingList_) ILFree(pendingList_);
  CloseView();
  PopTo(0);
  if (window_) DestroyWindow(window_);
  if (font_) DeleteObject(font_);
}

bool BrowserFrame::Open(IShellFolder* root, LPCITEMIDLIST rootList, const char* rootName,
                        UINT viewMode, int show) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = FrameClass;
  RegisterClassA(&windowClass);
  std::snprintf(rootName_, sizeof rootName_, "%s", rootName);
  viewMode_ = viewMode;
  window_ = CreateWindowExA(0, FrameClass, rootName_, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                            CW_USEDEFAULT, CW_USEDEFAULT, 860, 460, nullptr, nullptr,
                            GetModuleHandleA(nullptr), this);
  if (!window_ || !CreateControls()) return false;
  root->AddRef();
  levels_.push_back(Level{root, ILClone(rootList), nullptr});
  if (!ShowLevel()) return false;
  ShowWindow(window_, show);
  UpdateWindow(window_);
  return true;
}

bool BrowserFrame::CreateControls() {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  HDC screen = GetDC(nullptr);
  int height = -MulDiv(9, GetDeviceCaps(screen, LOGPIXELSY), 72);
  ReleaseDC(nullptr, screen);
  // The 9-point font of the library's dialogs.
  font_ = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                      OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                      VARIABLE_PITCH | FF_SWISS, L"ＭＳ Ｐゴシック");
  char text[64];
  LoadText(IDS_UP, text, sizeof text);
  up_ = CreateWindowExA(0, "BUTTON", text, WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 0, 0, 0,
                        window_, reinterpret_cast<HMENU>(IDC_UP), instance, nullptr);
  LoadText(IDS_ADDRESS, text, sizeof text);
  addressLabel_ = CreateWindowExA(0, "STATIC", text, WS_CHILD | WS_VISIBLE | SS_CENTERIMAGE, 0,
                                  0, 0, 0, window_, reinterpret_cast<HMENU>(IDC_ADDRESS_LABEL),
                                  instance, nullptr);
  address_ = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "",
                             WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL | ES_READONLY, 0, 0, 0, 0,
                             window_, reinterpret_cast<HMENU>(IDC_ADDRESS), instance, nullptr);
  status_ = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0,
                            0, 0, window_, reinterpret_cast<HMENU>(IDC_STATUS), instance, nullptr);
  if (!up_ || !addressLabel_ || !address_ || !status_) return false;
  for (HWND control : {up_, addressLabel_, address_, status_})
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  int parts[2] = {CountPartWidth, -1};
  SendMessageA(status_, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
  return true;
}

void BrowserFrame::CloseView() {
  if (!view_) return;
  view_->UIActivate(SVUIA_DEACTIVATE);
  view_->DestroyViewWindow();
  view_->Release();
  view_ = nullptr;
  viewWindow_ = nullptr;
}

bool BrowserFrame::ShowLevel(LPCITEMIDLIST select) {
  IShellFolder* folder = levels_.back().folder;
  IShellView* view = nullptr;
  if (FAILED(folder->CreateViewObject(window_, IID_IShellView, reinterpret_cast<void**>(&view))) ||
      !view)
    return false;
  // The mode asked for; a folder's view may replace it with the user's start-up mode, so the
  // command line's choice is set again once the view exists.
  FOLDERSETTINGS settings = {viewMode_ ? viewMode_ : OwnViewMode, 0};
  if (view_ && !viewMode_) view_->GetCurrentInfo(&settings);
  RECT area = {};
  HWND created = nullptr;
  if (FAILED(view->CreateViewWindow(view_, &settings, this, &area, &created)) || !created) {
    view->Release();
    return false;
  }
  CloseView();
  view_ = view;
  viewWindow_ = created;
  if (viewMode_) {
    IFolderView* folderView = nullptr;
    if (SUCCEEDED(view_->QueryInterface(IID_IFolderView, reinterpret_cast<void**>(&folderView)))) {
      folderView->SetCurrentViewMode(viewMode_);
      folderView->Release();
    }
  }
  view_->UIActivate(SVUIA_ACTIVATE_FOCUS);
  if (select)
    view_->SelectItem(select, SVSI_SELECT | SVSI_DESELECTOTHERS | SVSI_FOCUSED |
                                  SVSI_ENSUREVISIBLE);
  Layout();
  UpdateLocation();
  UpdateStatus();
  return true;
}

void BrowserFrame::PopTo(std::size_t depth) {
  while (levels_.size() > depth) {
    Level top = levels_.back();
    levels_.pop_back();
    top.folder->Release();
    ILFree(top.absolute);
    if (top.relative) ILFree(top.relative);
  }
}

bool BrowserFrame::Enter(LPCITEMIDLIST relative) {
  const std::size_t depth = levels_.size();
  for (LPCITEMIDLIST id = relative; id && id->mkid.cb; id = ILGetNext(id)) {
    LPITEMIDLIST single = ILCloneFirst(id);
    IShellFolder* child = nullptr;
    if (!single ||
        FAILED(levels_.back().folder->BindToObject(single, nullptr, IID_IShellFolder,
                                                   reinterpret_cast<void**>(&child))) ||
        !child) {
      if (single) ILFree(single);
      PopTo(depth);
      return false;
    }
    levels_.push_back(Level{child, ILCombine(levels_.back().absolute, single), single});
  }
  if (levels_.size() > depth && ShowLevel()) return true;
  PopTo(depth);
  return false;
}

bool BrowserFrame::Leave() {
  if (levels_.size() < 2) return false;
  Level top = levels_.back();
  levels_.pop_back();
  if (!ShowLevel(top.relative)) {
    levels_.push_back(top);  // its view is still the one shown
    return false;
  }
  top.folder->Release();
  ILFree(top.absolute);
  ILFree(top.relative);
  return true;
}

void BrowserFrame::UpdateLocation() {
  // The path inside the archive, joined from each level's name in its parent folder.
  char inner[2 * MAX_PATH] = "";
  for (std::size_t i = 1; i < levels_.size(); ++i) {
    STRRET name = {};
    char part[MAX_PATH] = "";
    if (SUCCEEDED(levels_[i - 1].folder->GetDisplayNameOf(
            levels_[i].relative, SHGDN_INFOLDER | SHGDN_FORPARSING, &name)))
      StrRetToBufA(&name, levels_[i].relative, part, sizeof part);
    std::size_t used = std::strlen(inner);
    std::snprintf(inner + used, sizeof inner - used, "\\%s", part);
  }
  char caption[3 * MAX_PATH];
  std::snprintf(caption, sizeof caption, "%s%s", rootName_, inner);
  SetWindowTextA(window_, caption);
  SetWindowTextA(address_, inner[0] ? inner : "\\");
  EnableWindow(up_, levels_.size() > 1);
}

HWND BrowserFrame::ListView() const {
  return viewWindow_ ? FindWindowExA(viewWindow_, nullptr, WC_LISTVIEWA, nullptr) : nullptr;
}

void BrowserFrame::UpdateStatus() {
  statusPending_ = false;
  // Only what the view's public interfaces tell: its count, its selection, the folder's details.
  IFolderView* folderView = nullptr;
  IShellFolderView* selection = nullptr;
  if (!view_ ||
      FAILED(view_->QueryInterface(IID_IFolderView, reinterpret_cast<void**>(&folderView))))
    return;
  int count = 0;
  if (FAILED(folderView->ItemCount(SVGIO_ALLVIEW, &count))) count = 0;
  IShellFolder2* details = nullptr;
  if (FAILED(folderView->GetFolder(IID_IShellFolder2, reinterpret_cast<void**>(&details))))
    details = nullptr;
  folderView->Release();
  int selected = 0;
  int files = 0;
  std::uint64_t bytes = 0;
  IShellFolder* folder = levels_.back().folder;
  PCUITEMID_CHILD* items = nullptr;
  UINT itemCount = 0;
  // IShellFolderView's published identifier (not every SDK's libraries define it).
  static const IID ShellFolderViewId = {0x37A378C0, 0xF82D, 0x11CE,
                                        {0xAE, 0x65, 0x08, 0x00, 0x2B, 0x2E, 0x12, 0x62}};
  if (SUCCEEDED(view_->QueryInterface(ShellFolderViewId, reinterpret_cast<void**>(&selection))) &&
      SUCCEEDED(selection->GetSelectedObjects(&items, &itemCount)) && items) {
    for (UINT i = 0; i < itemCount; ++i) {
      ++selected;
      SFGAOF attributes = SFGAO_FOLDER;
      LPCITEMIDLIST one[1] = {items[i]};
      if (SUCCEEDED(folder->GetAttributesOf(1, one, &attributes)) &&
          !(attributes & SFGAO_FOLDER)) {
        ++files;
        bytes += ItemSize(details, items[i]);
      }
    }
    LocalFree(const_cast<PCUITEMID_CHILD*>(items));  // the array only: the items are the view's
  }
  if (selection) selection->Release();
  if (details) details->Release();

  char pattern[64];
  char text[128];
  LoadText(IDS_ITEM_COUNT, pattern, sizeof pattern);
  std::snprintf(text, sizeof text, pattern, count);
  SendMessageA(status_, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text));
  text[0] = '\0';
  if (selected > 0 && files > 0) {
    char size[64];
    TotalSizeText(size, sizeof size, bytes);
    LoadText(IDS_SELECTED_SIZE, pattern, sizeof pattern);
    std::snprintf(text, sizeof text, pattern, selected, size);
  } else if (selected > 0) {
    LoadText(IDS_SELECTED, pattern, sizeof pattern);
    std::snprintf(text, sizeof text, pattern, selected);
  }
  SendMessageA(status_, SB_SETTEXTA, 1, reinterpret_cast<LPARAM>(text));
}

void BrowserFrame::Layout() {
  RECT area;
  GetClientRect(window_, &area);
  const int top = (RowHeight - ControlHeight) / 2;
  MoveWindow(up_, Gap, top, UpWidth, ControlHeight, TRUE);
  int x = Gap + UpWidth + 2 * Gap;
  MoveWindow(addressLabel_, x, top, LabelWidth, ControlHeight, TRUE);
  x += LabelWidth;
  MoveWindow(address_, x, top, area.right - x - Gap > 0 ? area.right - x - Gap : 0,
             ControlHeight, TRUE);
  SendMessageA(status_, WM_SIZE, 0, 0);
  RECT status;
  GetWindowRect(status_, &status);
  int bottom = area.bottom - (status.bottom - status.top);
  if (viewWindow_)
    MoveWindow(viewWindow_, 0, RowHeight, area.right, bottom > RowHeight ? bottom - RowHeight : 0,
               TRUE);
}

bool BrowserFrame::PreTranslate(MSG* message) {
  // Keys in this window only (not in a dialog the library shows); Backspace belongs to an edit
  // that takes text (renaming an item), not to the browser.
  bool mine = message->hwnd == window_ || IsChild(window_, message->hwnd);
  bool up = mine && ((message->message == WM_KEYDOWN && message->wParam == VK_BACK &&
                      !IsWritableEdit(message->hwnd)) ||
                     (message->message == WM_SYSKEYDOWN && message->wParam == VK_UP));
  if (up) {
    Leave();
    return true;
  }
  // A right-click on the view's empty space gets the folder's own background menu, as a shell
  // asks the folder for it (Wine's view would show a built-in menu of its own instead).
  if (message->message == WM_RBUTTONDOWN && message->hwnd == ListView()) {
    LVHITTESTINFO hit = {};
    hit.pt = POINT{GET_X_LPARAM(message->lParam), GET_Y_LPARAM(message->lParam)};
    if (ListView_HitTest(message->hwnd, &hit) < 0) {
      POINT screen = hit.pt;
      ClientToScreen(message->hwnd, &screen);
      ShowBackgroundMenu(screen);
      return true;
    }
  }
  return view_ && view_->TranslateAccelerator(message) == S_OK;
}

void BrowserFrame::ShowBackgroundMenu(POINT at) {
  if (levels_.empty()) return;
  IContextMenu* menu = nullptr;
  if (FAILED(levels_.back().folder->CreateViewObject(window_, IID_IContextMenu,
                                                     reinterpret_cast<void**>(&menu))))
    return;
  constexpr UINT First = 1, Last = 0x7FFF;
  HMENU popup = CreatePopupMenu();
  if (popup && SUCCEEDED(menu->QueryContextMenu(popup, 0, First, Last, CMF_NORMAL))) {
    const UINT chosen = static_cast<UINT>(TrackPopupMenu(
        popup, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr));
    if (chosen >= First) {
      CMINVOKECOMMANDINFO info = {sizeof info};
      info.hwnd = window_;
      info.lpVerb = MAKEINTRESOURCEA(chosen - First);
      info.nShow = SW_SHOWNORMAL;
      menu->InvokeCommand(&info);
    }
  }
  if (popup) DestroyMenu(popup);
  menu->Release();
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
    auto* self = static_cast<BrowserFrame*>(create->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<BrowserFrame*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self && self->window_ == window) return self->Handle(message, wParam, lParam);
  return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT BrowserFrame::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case GetShellBrowserMessage:
      return reinterpret_cast<LRESULT>(static_cast<IShellBrowser*>(this));
    case StatusMessage:
      UpdateStatus();
      return 0;
    case NavigateMessage:
      if (navigationPending_) {
        LPITEMIDLIST list = pendingList_;
        pendingList_ = nullptr;
        navigationPending_ = false;
        Navigate(list, pendingFlags_);
        if (list) ILFree(list);
      }
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_UP && HIWORD(wParam) == BN_CLICKED) {
        Leave();
        return 0;
      }
      break;
    case WM_SIZE:
      if (status_) Layout();
      return 0;
    case WM_SETFOCUS:
      if (viewWindow_) SetFocus(viewWindow_);
      return 0;
    case WM_CLOSE:
      CloseView();
      DestroyWindow(window_);
      return 0;
    case WM_DESTROY:
      window_ = nullptr;
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window_, message, wParam, lParam);
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

void BrowserFrame::PostNavigate(LPCITEMIDLIST list, UINT flags) {
  // The latest request wins; a view that asks twice for one step gets one step.
  if (pendingList_) ILFree(pendingList_);
  pendingList_ = list ? ILClone(list) : nullptr;
  pendingFlags_ = flags;
  if (!navigationPending_) navigationPending_ = PostMessageA(window_, NavigateMessage, 0, 0);
}

STDMETHODIMP BrowserFrame::BrowseObject(LPCITEMIDLIST list, UINT flags) {
  if (!list && !(flags & SBSP_PARENT)) return E_INVALIDARG;
  PostNavigate(list, flags);
  return S_OK;
}

bool BrowserFrame::Navigate(LPCITEMIDLIST list, UINT flags) {
  if (flags & SBSP_PARENT) return Leave();
  if (!list) return false;
  if (flags & SBSP_RELATIVE) return Enter(list);
  // An absolute list: one of the open levels, or a folder below the top one.
  for (std::size_t i = 0; i < levels_.size(); ++i) {
    LPCITEMIDLIST rest = Below(levels_[i].absolute, list);
    if (rest && rest->mkid.cb == 0) {
      if (i + 1 == levels_.size()) return true;
      LPITEMIDLIST left = ILCloneFirst(levels_[i + 1].relative);
      PopTo(i + 1);
      bool shown = ShowLevel(left);
      if (left) ILFree(left);
      return shown;
    }
  }
  LPCITEMIDLIST below = Below(levels_.back().absolute, list);
  return below && Enter(below);
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
  // An activated folder opens in this window; anything else is left to the view.
  LPITEMIDLIST item = SelectedItem(view);
  if (!item) return S_FALSE;
  SFGAOF attributes = SFGAO_FOLDER;
  LPCITEMIDLIST items[1] = {item};
  HRESULT handled = S_FALSE;
  if (SUCCEEDED(levels_.back().folder->GetAttributesOf(1, items, &attributes)) &&
      (attributes & SFGAO_FOLDER)) {
    PostNavigate(item, SBSP_RELATIVE);
    handled = S_OK;
  }
  ILFree(item);
  return handled;
}
STDMETHODIMP BrowserFrame::OnStateChange(IShellView*, ULONG change) {
  if (change == CDBOSC_SELCHANGE && window_ && !statusPending_) {
    statusPending_ = true;
    PostMessageA(window_, StatusMessage, 0, 0);
  }
  return S_OK;
}
STDMETHODIMP BrowserFrame::IncludeObject(IShellView*, LPCITEMIDLIST) { return S_OK; }
