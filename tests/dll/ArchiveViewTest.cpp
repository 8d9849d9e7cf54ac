// The archive view: the shell's standard view built over a folder inside a browser, the lifetime
// rule that ties the wrapper to the inner view's count, the start-up settings, the option pages,
// and the callback's columns (called directly: the standard view of this platform never calls it).
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "RegistryFixture.h"
#include "ViewTestSupport.h"
#include "namespace/ArchiveView.h"
#include "namespace/ModuleState.h"
#include "namespace/ViewCallback.h"

namespace {

std::vector<ItemId> SampleItems() {
  return {MakeItem("b.txt"), MakeItem("DIR", 0x10, 0, 0, 0, "-lhd-"), MakeItem("a.txt"),
          MakeItem("PROG.EXE", 0x20, 3000000, 1000000)};
}

std::string Text(const STRRET& text) {
  EXPECT_EQ(text.uType, static_cast<UINT>(STRRET_CSTR));
  return text.cStr;
}

// The callback's text for one column of an item.
std::string Column(const ItemId& item, int column, HRESULT* result = nullptr) {
  DETAILSINFO details = {};
  details.pidl = reinterpret_cast<PCUITEMID_CHILD>(&item);
  HRESULT r = ViewCallback(nullptr, nullptr, nullptr, SFVM_GETDETAILSOF, column,
                           reinterpret_cast<LPARAM>(&details));
  if (result) *result = r;
  return SUCCEEDED(r) ? Text(details.str) : std::string("<failed>");
}

std::string LoadText(UINT id) {
  char text[64] = "";
  LoadStringA(ModuleInstance, id, text, sizeof text);
  return text;
}

class ArchiveViewTest : public RegistryFixture {
 protected:
  // Creates a view of `folder` inside a fresh browser with the given requested mode; the list
  // view is what the shell's view shows.
  HWND OpenWindow(ItemListFolder* folder, UINT mode, IShellView** view) {
    *view = nullptr;
    HRESULT made = folder->CreateViewObject(nullptr, IID_IShellView,
                                            reinterpret_cast<void**>(view));
    EXPECT_EQ(made, S_OK);
    if (FAILED(made)) return nullptr;
    FOLDERSETTINGS settings = {mode, 0};
    RECT area = {0, 0, 600, 400};
    HWND window = nullptr;
    EXPECT_EQ((*view)->CreateViewWindow(nullptr, &settings, browser_, &area, &window), S_OK);
    return window;
  }

  void SetUp() override {
    RegistryFixture::SetUp();
    browser_ = new TestBrowser();
    browser_->AddRef();
  }
  void TearDown() override {
    browser_->Release();
    RegistryFixture::TearDown();
  }

  TestBrowser* browser_ = nullptr;
};

TEST_F(ArchiveViewTest, HeaderDetailsGiveTitlesFormatsAndWidths) {
  const int formats[] = {LVCFMT_LEFT, LVCFMT_RIGHT, LVCFMT_LEFT, LVCFMT_LEFT,
                         LVCFMT_RIGHT, LVCFMT_LEFT, LVCFMT_LEFT};
  const int widths[] = {18, 10, 16, 16, 7, 7, 7};
  for (int column = 0; column < 7; ++column) {
    DETAILSINFO details = {};
    ASSERT_EQ(ViewCallback(nullptr, nullptr, nullptr, SFVM_GETDETAILSOF, column,
                           reinterpret_cast<LPARAM>(&details)),
              S_OK);
    EXPECT_EQ(details.fmt, formats[column]) << column;
    EXPECT_EQ(details.cxChar, widths[column]) << column;
    std::string title = Text(details.str);
    EXPECT_FALSE(title.empty()) << column;
    EXPECT_EQ(title, LoadText(400 + column));
  }
  EXPECT_EQ(LoadText(406), "CRC");
  DETAILSINFO beyond = {};
  EXPECT_EQ(ViewCallback(nullptr, nullptr, nullptr, SFVM_GETDETAILSOF, 7,
                         reinterpret_cast<LPARAM>(&beyond)),
            E_INVALIDARG);
  HRESULT result = S_OK;
  Column(MakeItem("A.TXT"), 7, &result);
  EXPECT_EQ(result, E_INVALIDARG);
}

TEST_F(ArchiveViewTest, ItemDetailsFollowTheColumnTable) {
  ItemId file = MakeItem("DIR\\SUB\\README.TXT", 0x20, 1000, 455, 0x0A1F, "-lh5-");
  EXPECT_EQ(Column(file, 0), "README.TXT");
  EXPECT_FALSE(Column(file, 1).empty());
  EXPECT_EQ(Column(file, 1).find('('), std::string::npos);  // no exact byte count
  EXPECT_FALSE(Column(file, 3).empty());
  EXPECT_EQ(Column(file, 4), "45%");
  EXPECT_EQ(Column(file, 5), "-lh5-");
  EXPECT_EQ(Column(file, 6), "0A1F");
  EXPECT_EQ(Column(MakeItem("EMPTY", 0x20, 0, 0), 4), "0%");
  // 100 000 000 x 100 does not fit 32 bits.
  EXPECT_EQ(Column(MakeItem("BIG.DAT", 0x20, 100000000, 60000000), 4), "60%");
  EXPECT_EQ(Column(MakeItem("HUGE.DAT", 0x20, 4000000000u, 3999999999u), 4), "99%");

  ItemId folder = MakeItem("DIR\\SUB", 0x10, 0, 0, 0x1234, "-lhd-");
  EXPECT_EQ(Column(folder, 0), "SUB");
  EXPECT_EQ(Column(folder, 1), "");
  EXPECT_EQ(Column(folder, 2), FolderTypeName);
  EXPECT_EQ(Column(folder, 3), "");
  EXPECT_EQ(Column(folder, 4), "");
  EXPECT_EQ(Column(folder, 5), "-lhd-");
  EXPECT_EQ(Column(folder, 6), "");
  EXPECT_EQ(Column(MakeItem("SYN", 0x10, 0, 0, 0, ""), 5), "");
}

TEST_F(ArchiveViewTest, ForeignIdentifiersShowEmptyTextsAndOtherMessagesAreDeclined) {
  std::uint8_t foreign[20] = {18, 0, 'X'};
  DETAILSINFO details = {};
  details.pidl = reinterpret_cast<PCUITEMID_CHILD>(foreign);
  ASSERT_EQ(ViewCallback(nullptr, nullptr, nullptr, SFVM_GETDETAILSOF, 0,
                         reinterpret_cast<LPARAM>(&details)),
            S_OK);
  EXPECT_EQ(Text(details.str), "");
  EXPECT_EQ(ViewCallback(nullptr, nullptr, nullptr, SFVM_BACKGROUNDENUM, 0, 0), S_OK);
  EXPECT_EQ(ViewCallback(nullptr, nullptr, nullptr, 2, 0, 0), E_NOTIMPL);
  EXPECT_EQ(ViewCallback(nullptr, nullptr, nullptr, SFVM_WINDOWCREATED, 0, 0), S_OK);
  EXPECT_EQ(ViewCallback(nullptr, nullptr, nullptr, SFVM_COLUMNCLICK, 3, 0), S_OK);
}

TEST_F(ArchiveViewTest, ReleasingTheLastReferenceDestroysTheViewAndClearsTheFolderRecord) {
  ItemListFolder* folder = new ItemListFolder(SampleItems());
  folder->AddRef();
  LONG before = ObjectCount();
  IShellView* view = nullptr;
  ASSERT_EQ(folder->CreateViewObject(nullptr, IID_IShellView, reinterpret_cast<void**>(&view)),
            S_OK);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(static_cast<IShellView*>(folder->view), view);
  EXPECT_GT(ObjectCount(), before);
  // A query for the view itself answers with the wrapper, so calls keep passing through it.
  IShellView* again = nullptr;
  ASSERT_EQ(view->QueryInterface(IID_IShellView, reinterpret_cast<void**>(&again)), S_OK);
  EXPECT_EQ(again, view);
  EXPECT_GT(again->Release(), 0u);
  EXPECT_EQ(static_cast<IShellView*>(folder->view), view);
  EXPECT_EQ(view->Release(), 0u);
  EXPECT_EQ(folder->view, nullptr);
  EXPECT_EQ(ObjectCount(), before);
  folder->Release();
}

TEST_F(ArchiveViewTest, AnOlderViewDoesNotClearTheRecordOfANewerOne) {
  ItemListFolder* folder = new ItemListFolder(SampleItems());
  folder->AddRef();
  IShellView* first = nullptr;
  IShellView* second = nullptr;
  ASSERT_EQ(folder->CreateViewObject(nullptr, IID_IShellView, reinterpret_cast<void**>(&first)),
            S_OK);
  ASSERT_EQ(folder->CreateViewObject(nullptr, IID_IShellView, reinterpret_cast<void**>(&second)),
            S_OK);
  first->Release();
  EXPECT_EQ(static_cast<IShellView*>(folder->view), second);
  second->Release();
  EXPECT_EQ(folder->view, nullptr);
  folder->Release();
}

TEST_F(ArchiveViewTest, ViewWindowListsTheFolderItemsInsideABrowser) {
  ItemListFolder* folder = new ItemListFolder(SampleItems());
  folder->AddRef();
  SetString("DefaultView", "3");
  IShellView* view = nullptr;
  HWND window = OpenWindow(folder, FVM_ICON, &view);
  ASSERT_NE(window, nullptr);
  HWND list = FindListView(window);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 4);
  std::vector<std::string> names;
  for (int i = 0; i < 4; ++i) names.push_back(ListViewText(list, i, 0));
  // Sorted by the folder's column 0: folders first, then by name in the locale's order.
  EXPECT_EQ(names, (std::vector<std::string>{"DIR", "a.txt", "b.txt", "PROG.EXE"}));
  EXPECT_GE(folder->enumerations, 1);
  // Mode 3 of the setting: list.
  EXPECT_EQ(GetWindowLongA(list, GWL_STYLE) & LVS_TYPEMASK, LVS_LIST);
  FOLDERSETTINGS current = {};
  EXPECT_EQ(view->GetCurrentInfo(&current), S_OK);
  EXPECT_EQ(current.ViewMode, static_cast<UINT>(FVM_LIST));
  view->DestroyViewWindow();
  EXPECT_EQ(view->Release(), 0u);
  EXPECT_EQ(folder->view, nullptr);
  folder->Release();
}

TEST_F(ArchiveViewTest, StartupModeAndAutoArrangeComeFromTheSettings) {
  ItemListFolder* folder = new ItemListFolder(SampleItems());
  folder->AddRef();
  SetString("DefaultView", "4");
  SetString("AutoArrange", "1");
  IShellView* view = nullptr;
  HWND window = OpenWindow(folder, FVM_ICON, &view);
  ASSERT_NE(window, nullptr);
  HWND list = FindListView(window);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(GetWindowLongA(list, GWL_STYLE) & LVS_TYPEMASK, LVS_REPORT);
  FOLDERSETTINGS current = {};
  view->GetCurrentInfo(&current);
  EXPECT_EQ(current.ViewMode, static_cast<UINT>(FVM_DETAILS));
  // The seven columns with the callback's texts, asked through the folder's IShellFolder2.
  HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
  EXPECT_EQ(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0), 7);
  ASSERT_EQ(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 4);
  EXPECT_EQ(ListViewText(list, 0, 0), "DIR");
  EXPECT_EQ(ListViewText(list, 0, 5), "-lhd-");
  EXPECT_EQ(ListViewText(list, 0, 4), "");
  EXPECT_EQ(ListViewText(list, 3, 0), "PROG.EXE");
  EXPECT_EQ(ListViewText(list, 3, 4), "33%");
  EXPECT_EQ(ListViewText(list, 3, 6), "BEEF");
  view->DestroyViewWindow();
  view->Release();

  // 0 leaves the browser's choice.
  SetString("DefaultView", "0");
  SetString("AutoArrange", "0");
  window = OpenWindow(folder, FVM_SMALLICON, &view);
  ASSERT_NE(window, nullptr);
  list = FindListView(window);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(GetWindowLongA(list, GWL_STYLE) & LVS_TYPEMASK, LVS_SMALLICON);
  view->DestroyViewWindow();
  view->Release();
  folder->Release();

  FOLDERSETTINGS asked = {FVM_ICON, FWF_SNAPTOGRID};
  SetString("DefaultView", "2");
  SetString("AutoArrange", "1");
  FOLDERSETTINGS startup = StartupFolderSettings(asked);
  EXPECT_EQ(startup.ViewMode, static_cast<UINT>(FVM_SMALLICON));
  EXPECT_EQ(startup.fFlags, static_cast<UINT>(FWF_SNAPTOGRID | FWF_AUTOARRANGE));
}

struct CollectedPages {
  std::vector<HPROPSHEETPAGE> pages;
};

BOOL CALLBACK CollectPage(HPROPSHEETPAGE page, LPARAM parameter) {
  reinterpret_cast<CollectedPages*>(parameter)->pages.push_back(page);
  return TRUE;
}

TEST_F(ArchiveViewTest, AddPropertySheetPagesAddsTheFolderAndCompressionPages) {
  ItemListFolder* folder = new ItemListFolder(SampleItems());
  folder->AddRef();
  IShellView* view = nullptr;
  ASSERT_EQ(folder->CreateViewObject(nullptr, IID_IShellView, reinterpret_cast<void**>(&view)),
            S_OK);
  CollectedPages collected;
  view->AddPropertySheetPages(0, CollectPage, reinterpret_cast<LPARAM>(&collected));
  EXPECT_EQ(collected.pages.size(), 2u);
  for (HPROPSHEETPAGE page : collected.pages) DestroyPropertySheetPage(page);
  view->Release();
  folder->Release();
}

}  // namespace
