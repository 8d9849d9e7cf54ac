// The archive folder as the shell reaches it: through the built library's DllGetClassObject and
// class factory, until every object is released and the library may be unloaded.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

#include "dll/FolderTestSupport.h"
#include "namespace/ClassId.h"

using namespace foldertest;

namespace {

using GetClassObjectFunction = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using CanUnloadNowFunction = HRESULT(WINAPI*)();

}  // namespace

TEST(FolderHostTest, BrowsesAnArchiveThroughTheLibraryAndReleasesEverything) {
  TempFolder dir;
  std::string archivePath = dir / "HOST.LZH";
  RawMember readOnly = File("A.TXT");
  readOnly.attributes = 0x21;
  ASSERT_TRUE(WriteArchive(archivePath, {readOnly, File("DIR\\SUB\\B.TXT")}));
  LPITEMIDLIST shellList = ShellIdListOf(archivePath);
  ASSERT_NE(shellList, nullptr);

  HMODULE module = LoadLibraryA(LibraryPath().c_str());
  ASSERT_NE(module, nullptr);
  auto getClassObject = reinterpret_cast<GetClassObjectFunction>(
      reinterpret_cast<void (*)()>(GetProcAddress(module, "DllGetClassObject")));
  auto canUnloadNow = reinterpret_cast<CanUnloadNowFunction>(
      reinterpret_cast<void (*)()>(GetProcAddress(module, "DllCanUnloadNow")));
  ASSERT_NE(getClassObject, nullptr);
  ASSERT_EQ(canUnloadNow(), S_OK);

  IClassFactory* factory = nullptr;
  ASSERT_EQ(getClassObject(CLSID_Tanuvia, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
            S_OK);
  IShellFolder* root = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellFolder, reinterpret_cast<void**>(&root)),
            S_OK);
  EXPECT_EQ(factory->Release(), 0u);
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  EXPECT_EQ(root->AddRef(), 2u);
  EXPECT_EQ(root->Release(), 1u);

  IPersistFolder* persist = nullptr;
  ASSERT_EQ(root->QueryInterface(IID_IPersistFolder, reinterpret_cast<void**>(&persist)), S_OK);
  EXPECT_EQ(persist->Initialize(shellList), S_OK);
  EXPECT_EQ(persist->Release(), 1u);

  IEnumIDList* enumerator = nullptr;
  ASSERT_EQ(root->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, &enumerator), S_OK);
  ReceivedItems items;
  ReadAll(enumerator, items);
  EXPECT_EQ(enumerator->Release(), 0u);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_STREQ(items[1].path, "DIR");

  // A member dragged out becomes a read-only temporary copy that lives until the library unloads.
  IDataObject* data = nullptr;
  LPCITEMIDLIST dragged = items.items[0];
  ASSERT_EQ(root->GetUIObjectOf(nullptr, 1, &dragged, IID_IDataObject, nullptr,
                                reinterpret_cast<void**>(&data)),
            S_OK);
  FORMATETC hdrop = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium = {};
  ASSERT_EQ(data->GetData(&hdrop, &medium), S_OK);
  char copy[MAX_PATH] = "";
  DragQueryFileA(static_cast<HDROP>(medium.hGlobal), 0, copy, sizeof copy);
  ReleaseStgMedium(&medium);
  EXPECT_EQ(data->Release(), 0u);
  EXPECT_TRUE(GetFileAttributesA(copy) & FILE_ATTRIBUTE_READONLY) << copy;

  // Sub-folders keep the shared archive alive after the root is gone.
  IShellFolder* sub = nullptr;
  ASSERT_EQ(root->BindToObject(items.items[1], nullptr, IID_IShellFolder,
                               reinterpret_cast<void**>(&sub)),
            S_OK);
  EXPECT_EQ(root->Release(), 0u);
  ReceivedItems subItems;
  ASSERT_EQ(sub->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, &enumerator), S_OK);
  ReadAll(enumerator, subItems);
  ASSERT_EQ(subItems.size(), 1u);
  EXPECT_STREQ(subItems[0].path, "DIR\\SUB");
  IShellFolder* subsub = nullptr;
  ASSERT_EQ(sub->BindToObject(subItems.items[0], nullptr, IID_IShellFolder,
                              reinterpret_cast<void**>(&subsub)),
            S_OK);
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  EXPECT_EQ(enumerator->Release(), 0u);
  EXPECT_EQ(sub->Release(), 0u);
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  EXPECT_EQ(subsub->Release(), 0u);
  EXPECT_EQ(canUnloadNow(), S_OK);

  // What DllCanUnloadNow released is set up again by the next use, while still loaded.
  ASSERT_EQ(getClassObject(CLSID_Tanuvia, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
            S_OK);
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellFolder, reinterpret_cast<void**>(&root)),
            S_OK);
  factory->Release();
  root->QueryInterface(IID_IPersistFolder, reinterpret_cast<void**>(&persist));
  EXPECT_EQ(persist->Initialize(shellList), S_OK);
  persist->Release();
  ASSERT_EQ(root->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, &enumerator), S_OK);
  ReadAll(enumerator, subItems);  // items handed out through the task allocator set up again
  enumerator->Release();
  EXPECT_EQ(subItems.size(), 3u);
  EXPECT_EQ(root->Release(), 0u);
  EXPECT_EQ(canUnloadNow(), S_OK);

  CoTaskMemFree(shellList);
  FreeLibrary(module);
  EXPECT_EQ(GetFileAttributesA(copy), INVALID_FILE_ATTRIBUTES) << "deleted at unload";
}
