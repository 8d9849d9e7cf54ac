#include "ViewTestSupport.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "archive/PathName.h"
#include "namespace/IconIndex.h"
#include "namespace/ItemCompare.h"
#include "namespace/ItemIcon.h"
#include "namespace/ModuleState.h"

namespace {

class ItemListEnumerator : public ComObject<ItemListEnumerator, IEnumIDList> {
 public:
  static const InterfaceEntry* InterfaceTable() {
    static const InterfaceEntry table[] = {
        Offer<ItemListEnumerator, IEnumIDList>(IID_IEnumIDList), EndOfInterfaces()};
    return table;
  }
  explicit ItemListEnumerator(std::vector<ItemId> items) : items_(std::move(items)) {}

  STDMETHODIMP Next(ULONG wanted, LPITEMIDLIST* out, ULONG* fetched) override {
    ULONG n = 0;
    while (n < wanted && position_ < items_.size()) {
      auto* copy = static_cast<std::uint8_t*>(CoTaskMemAlloc(ItemIdSize + 2));
      if (!copy) return E_OUTOFMEMORY;
      std::memcpy(copy, &items_[position_++], ItemIdSize);
      copy[ItemIdSize] = copy[ItemIdSize + 1] = 0;
      out[n++] = reinterpret_cast<LPITEMIDLIST>(copy);
    }
    if (fetched) *fetched = n;
    return n == wanted ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    position_ += count;
    if (position_ <= items_.size()) return S_OK;
    position_ = items_.size();
    return S_FALSE;
  }
  STDMETHODIMP Reset() override {
    position_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumIDList**) override { return E_NOTIMPL; }

 private:
  std::vector<ItemId> items_;
  std::size_t position_ = 0;
};

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

ItemId MakeItem(const char* path, std::uint16_t attributes, std::uint32_t originalSize,
                std::uint32_t packedSize, std::uint16_t crc, const char* method,
                std::uint32_t modifyTime) {
  ItemId item;
  std::memset(&item, 0, sizeof item);
  item.size = ItemIdSize;
  item.modifyTime = item.createTime = item.accessTime = modifyTime;
  item.originalSize = originalSize;
  item.packedSize = static_cast<std::int32_t>(packedSize);
  item.attributes = attributes;
  item.crc = crc;
  item.headerLevel = 2;
  std::strncpy(item.method, method, sizeof item.method - 1);
  std::strncpy(item.path, path, sizeof item.path - 1);
  return item;
}

// ----- ItemListFolder -----

const InterfaceEntry* ItemListFolder::InterfaceTable() {
  static const InterfaceEntry table[] = {Offer<ItemListFolder, IShellFolder>(IID_IShellFolder),
                                         Offer<ItemListFolder, IShellIcon>(IID_IShellIcon),
                                         EndOfInterfaces()};
  return table;
}

ItemListFolder::ItemListFolder(std::vector<ItemId> items) : items_(std::move(items)) {
  // Stands for the archive file's absolute identifier: one opaque item and the terminator.
  absolute_.assign(2 + 8 + 2, 0);
  absolute_[0] = 10;
  std::memcpy(&absolute_[2], "ARCHIVE", 7);
}

STDMETHODIMP ItemListFolder::ParseDisplayName(HWND, LPBC, LPOLESTR, ULONG*, LPITEMIDLIST*,
                                              ULONG*) {
  return E_NOTIMPL;
}
STDMETHODIMP ItemListFolder::EnumObjects(HWND, SHCONTF flags, IEnumIDList** out) {
  ++enumerations;
  std::vector<ItemId> chosen;
  for (const ItemId& item : items_) {
    bool folder = IsFolderItem(item);
    if ((folder && (flags & SHCONTF_FOLDERS)) || (!folder && (flags & SHCONTF_NONFOLDERS)))
      chosen.push_back(item);
  }
  return CreateComObject<ItemListEnumerator>(IID_IEnumIDList, reinterpret_cast<void**>(out),
                                             std::move(chosen));
}
STDMETHODIMP ItemListFolder::BindToObject(LPCITEMIDLIST, LPBC, REFIID, void** out) {
  *out = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP ItemListFolder::BindToStorage(LPCITEMIDLIST, LPBC, REFIID, void** out) {
  *out = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP ItemListFolder::CompareIDs(LPARAM column, LPCITEMIDLIST first,
                                        LPCITEMIDLIST second) {
  const ItemId* a = AsItemId(first);
  const ItemId* b = AsItemId(second);
  if (!a || !b) return E_INVALIDARG;
  return static_cast<HRESULT>(CompareItems(static_cast<int>(column & 0xFFFF), *a, *b));
}
STDMETHODIMP ItemListFolder::CreateViewObject(HWND, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualIID(iid, IID_IShellView)) return E_NOINTERFACE;
  return CreateArchiveViewObject(static_cast<IShellFolder*>(this),
                                 reinterpret_cast<LPCITEMIDLIST>(absolute_.data()), &view, out);
}
STDMETHODIMP ItemListFolder::GetAttributesOf(UINT count, LPCITEMIDLIST* items, SFGAOF* mask) {
  for (UINT i = 0; i < count; ++i) {
    const ItemId* item = AsItemId(items[i]);
    *mask &= (item && IsFolderItem(*item)) ? 0xE0000171u : 0x40000071u;
  }
  return S_OK;
}
STDMETHODIMP ItemListFolder::GetUIObjectOf(HWND, UINT count, LPCITEMIDLIST* items, REFIID iid,
                                           UINT*, void** out) {
  *out = nullptr;
  if (IsEqualIID(iid, IID_IExtractIconA) || IsEqualIID(iid, IID_IExtractIconW)) {
    if (count != 1) return E_INVALIDARG;
    return CreateItemIcon(items[0], nullptr, iid, out);
  }
  return E_NOINTERFACE;
}
STDMETHODIMP ItemListFolder::GetDisplayNameOf(LPCITEMIDLIST item, SHGDNF flags, STRRET* name) {
  const ItemId* facts = AsItemId(item);
  if (!facts) return E_INVALIDARG;
  name->uType = STRRET_OFFSET;
  const char* part = (flags & SHGDN_FORPARSING) ? facts->path : PathNamePart(facts->path);
  name->uOffset = static_cast<UINT>(part - reinterpret_cast<const char*>(facts));
  return S_OK;
}
STDMETHODIMP ItemListFolder::SetNameOf(HWND, LPCITEMIDLIST, LPCOLESTR, SHGDNF, LPITEMIDLIST*) {
  return E_NOTIMPL;
}
STDMETHODIMP ItemListFolder::GetIconOf(LPCITEMIDLIST item, UINT flags, int* index) {
  return ItemIconIndex(item, flags, index);
}

// ----- TestBrowser -----

const InterfaceEntry* TestBrowser::InterfaceTable() {
  static const InterfaceEntry table[] = {Offer<TestBrowser, IShellBrowser>(IID_IShellBrowser),
                                         Offer<TestBrowser, IShellBrowser>(IID_IOleWindow),
                                         Offer<TestBrowser, ICommDlgBrowser>(IID_ICommDlgBrowser),
                                         EndOfInterfaces()};
  return table;
}

TestBrowser::TestBrowser() {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = FrameProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "TanuviaTestFrame";
  RegisterClassA(&windowClass);  // a second registration fails harmlessly
  frame_ = CreateWindowExA(0, "TanuviaTestFrame", "test", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480,
                           nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}
TestBrowser::~TestBrowser() {
  if (frame_) DestroyWindow(frame_);
}
STDMETHODIMP TestBrowser::GetWindow(HWND* window) {
  *window = frame_;
  return S_OK;
}
STDMETHODIMP TestBrowser::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }
STDMETHODIMP TestBrowser::InsertMenusSB(HMENU, LPOLEMENUGROUPWIDTHS) { return S_OK; }
STDMETHODIMP TestBrowser::SetMenuSB(HMENU, HOLEMENU, HWND) { return S_OK; }
STDMETHODIMP TestBrowser::RemoveMenusSB(HMENU) { return S_OK; }
STDMETHODIMP TestBrowser::SetStatusTextSB(LPCOLESTR) { return S_OK; }
STDMETHODIMP TestBrowser::EnableModelessSB(BOOL) { return S_OK; }
STDMETHODIMP TestBrowser::TranslateAcceleratorSB(MSG*, WORD) { return S_FALSE; }
STDMETHODIMP TestBrowser::BrowseObject(LPCITEMIDLIST, UINT) { return E_NOTIMPL; }
STDMETHODIMP TestBrowser::GetViewStateStream(DWORD, IStream** out) {
  *out = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP TestBrowser::GetControlWindow(UINT, HWND* out) {
  *out = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP TestBrowser::SendControlMsg(UINT, UINT, WPARAM, LPARAM, LRESULT* result) {
  if (result) *result = 0;
  return S_OK;
}
STDMETHODIMP TestBrowser::QueryActiveShellView(IShellView** out) {
  *out = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP TestBrowser::OnViewWindowActive(IShellView*) { return S_OK; }
STDMETHODIMP TestBrowser::SetToolbarItems(LPTBBUTTON, UINT, UINT) { return S_OK; }
STDMETHODIMP TestBrowser::OnDefaultCommand(IShellView*) { return S_FALSE; }
STDMETHODIMP TestBrowser::OnStateChange(IShellView*, ULONG) { return S_OK; }
STDMETHODIMP TestBrowser::IncludeObject(IShellView*, LPCITEMIDLIST) { return S_OK; }

// ----- list view -----

HWND FindListView(HWND viewWindow) {
  HWND list = FindWindowExA(viewWindow, nullptr, WC_LISTVIEWA, nullptr);
  return list;
}

std::string ListViewText(HWND listView, int item, int column) {
  // The shell's view fills its list view through wide display-info notifications.
  wchar_t text[MAX_PATH] = L"";
  LVITEMW request = {};
  request.iSubItem = column;
  request.pszText = text;
  request.cchTextMax = MAX_PATH;
  SendMessageW(listView, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&request));
  char narrow[MAX_PATH * 2] = "";
  WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
  return narrow;
}

// ----- icon files -----

std::vector<std::uint8_t> SampleIconFile() {
  const int side = 32;
  const std::uint32_t pixels = side * side * 4;
  const std::uint32_t mask = side * 4;  // one bit per pixel, rows of four bytes
  const std::uint32_t imageSize = 40 + pixels + mask;
  std::vector<std::uint8_t> file;
  auto put16 = [&](std::uint32_t v) { file.push_back(v & 0xFF), file.push_back((v >> 8) & 0xFF); };
  auto put32 = [&](std::uint32_t v) { put16(v & 0xFFFF), put16(v >> 16); };
  put16(0), put16(1), put16(1);  // icon file, one image
  file.push_back(side), file.push_back(side), file.push_back(0), file.push_back(0);
  put16(1), put16(32), put32(imageSize), put32(6 + 16);  // planes, bits, size, offset
  put32(40), put32(side), put32(side * 2), put16(1), put16(32);  // BITMAPINFOHEADER
  put32(0), put32(0), put32(0), put32(0), put32(0), put32(0);
  for (int row = 0; row < side; ++row)
    for (int x = 0; x < side; ++x) put32(x < side / 2 ? 0xFF000000u : 0xFFFFFFFFu);
  for (std::uint32_t i = 0; i < mask; ++i) file.push_back(0);  // all opaque
  return file;
}
