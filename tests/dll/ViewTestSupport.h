// What the view and icon tests need around the objects under test: archive items made by hand, a
// plain IShellFolder over a fixed list of them (the folder the standard view is built over), and
// a minimal IShellBrowser with a frame window, since the shell's view makes its list view only
// inside a browser.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstdint>
#include <string>
#include <vector>

#include "namespace/ArchiveView.h"
#include "namespace/ComObject.h"
#include "namespace/ItemId.h"

// One archive item as the enumerator would build it.
ItemId MakeItem(const char* path, std::uint16_t attributes = 0x20,
                std::uint32_t originalSize = 1000, std::uint32_t packedSize = 455,
                std::uint16_t crc = 0xBEEF, const char* method = "-lh5-",
                std::uint32_t modifyTime = 946684800);
inline LPCITEMIDLIST AsList(const ItemId& item) {
  return reinterpret_cast<LPCITEMIDLIST>(&item);
}

// A folder of fixed items. It makes its view with CreateArchiveViewObject, as the archive folder
// does, and answers GetIconOf with the folder icon rules.
class ItemListFolder : public ComObject<ItemListFolder, IShellFolder, IShellIcon> {
 public:
  static const InterfaceEntry* InterfaceTable();
  explicit ItemListFolder(std::vector<ItemId> items);

  STDMETHODIMP ParseDisplayName(HWND, LPBC, LPOLESTR, ULONG*, LPITEMIDLIST*, ULONG*) override;
  STDMETHODIMP EnumObjects(HWND, SHCONTF flags, IEnumIDList** out) override;
  STDMETHODIMP BindToObject(LPCITEMIDLIST, LPBC, REFIID, void** out) override;
  STDMETHODIMP BindToStorage(LPCITEMIDLIST, LPBC, REFIID, void** out) override;
  STDMETHODIMP CompareIDs(LPARAM column, LPCITEMIDLIST first, LPCITEMIDLIST second) override;
  STDMETHODIMP CreateViewObject(HWND, REFIID iid, void** out) override;
  STDMETHODIMP GetAttributesOf(UINT count, LPCITEMIDLIST* items, SFGAOF* mask) override;
  STDMETHODIMP GetUIObjectOf(HWND, UINT count, LPCITEMIDLIST* items, REFIID iid, UINT*,
                             void** out) override;
  STDMETHODIMP GetDisplayNameOf(LPCITEMIDLIST item, SHGDNF flags, STRRET* name) override;
  STDMETHODIMP SetNameOf(HWND, LPCITEMIDLIST, LPCOLESTR, SHGDNF, LPITEMIDLIST*) override;
  STDMETHODIMP GetIconOf(LPCITEMIDLIST item, UINT flags, int* index) override;

  // The folder's record of its latest view, as ArchiveFolder keeps it.
  ArchiveView* view = nullptr;
  int enumerations = 0;

 private:
  std::vector<ItemId> items_;
  std::vector<std::uint8_t> absolute_;  // a one-item absolute list standing for the archive file
};

// A frame window and the browser around one view.
class TestBrowser : public ComObject<TestBrowser, IShellBrowser, ICommDlgBrowser> {
 public:
  static const InterfaceEntry* InterfaceTable();
  TestBrowser();
  HWND Frame() const { return frame_; }

  // IOleWindow
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) override;
  // IShellBrowser
  STDMETHODIMP InsertMenusSB(HMENU, LPOLEMENUGROUPWIDTHS) override;
  STDMETHODIMP SetMenuSB(HMENU, HOLEMENU, HWND) override;
  STDMETHODIMP RemoveMenusSB(HMENU) override;
  STDMETHODIMP SetStatusTextSB(LPCOLESTR) override;
  STDMETHODIMP EnableModelessSB(BOOL) override;
  STDMETHODIMP TranslateAcceleratorSB(MSG*, WORD) override;
  STDMETHODIMP BrowseObject(LPCITEMIDLIST, UINT) override;
  STDMETHODIMP GetViewStateStream(DWORD, IStream** out) override;
  STDMETHODIMP GetControlWindow(UINT, HWND* out) override;
  STDMETHODIMP SendControlMsg(UINT, UINT, WPARAM, LPARAM, LRESULT* result) override;
  STDMETHODIMP QueryActiveShellView(IShellView** out) override;
  STDMETHODIMP OnViewWindowActive(IShellView*) override;
  STDMETHODIMP SetToolbarItems(LPTBBUTTON, UINT, UINT) override;
  // ICommDlgBrowser
  STDMETHODIMP OnDefaultCommand(IShellView*) override;
  STDMETHODIMP OnStateChange(IShellView*, ULONG) override;
  STDMETHODIMP IncludeObject(IShellView*, LPCITEMIDLIST) override;

 private:
  ~TestBrowser() override;
  HWND frame_ = nullptr;
};

// The list view inside a view window, or null.
HWND FindListView(HWND viewWindow);
// Text of a list view cell.
std::string ListViewText(HWND listView, int item, int column);

// A 32 x 32 icon file with 32-bit pixels: its left half is black, its right half white.
std::vector<std::uint8_t> SampleIconFile();
