// The one step that announces an archive change: the view's window, told by a posted command
// (as a worker thread tells it), reads its folder again.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "dll/DropTestSupport.h"
#include "dll/ViewTestSupport.h"
#include "namespace/ChangeNotice.h"

namespace {

TEST(ChangeNoticeTest, ThePostedRefreshCommandMakesTheViewReadItsFolderAgain) {
  ItemListFolder* folder = new ItemListFolder({MakeItem("A.TXT"), MakeItem("B.TXT")});
  folder->AddRef();
  TestBrowser* browser = new TestBrowser();
  browser->AddRef();
  IShellView* view = nullptr;
  ASSERT_EQ(folder->CreateViewObject(nullptr, IID_IShellView, reinterpret_cast<void**>(&view)),
            S_OK);
  FOLDERSETTINGS settings = {FVM_DETAILS, 0};
  RECT area = {0, 0, 600, 400};
  HWND window = nullptr;
  ASSERT_EQ(view->CreateViewWindow(nullptr, &settings, browser, &area, &window), S_OK);
  int before = folder->enumerations;
  AnnounceArchiveChange("", nullptr, window);
  EXPECT_TRUE(droptest::PumpUntil([&] { return folder->enumerations > before; }, 10000));
  view->DestroyViewWindow();
  view->Release();
  // A window that is gone is not told.
  AnnounceArchiveChange("", nullptr, window);
  browser->Release();
  folder->Release();
}

}  // namespace
