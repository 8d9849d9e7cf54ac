// The archive folder driven as the shell drives it: Initialize with the shell's identifier list
// of an archive file, then enumeration, names, attributes, binding and renaming with the items it
// handed out.
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/EntryEnumerator.h"
#include "dll/FolderTestSupport.h"
#include "namespace/ArchiveFolder.h"
#include "namespace/ClassId.h"
#include "namespace/ItemEnumerator.h"

using namespace foldertest;

namespace {

constexpr SHCONTF Everything = SHCONTF_FOLDERS | SHCONTF_NONFOLDERS;

class FolderTest : public testing::Test {
 protected:
  void TearDown() override {
    for (IShellFolder* folder : folders_) folder->Release();
    if (shellList_) CoTaskMemFree(shellList_);
    EXPECT_EQ(ObjectCount(), startCount_) << "objects left alive";
  }

  // Writes the archive and opens its root folder as the shell does.
  IShellFolder* Open(const std::vector<RawMember>& members, const std::string& name = "T.LZH") {
    path_ = dir_ / name;
    EXPECT_TRUE(WriteArchive(path_, members));
    shellList_ = ShellIdListOf(path_);
    EXPECT_NE(shellList_, nullptr);
    void* out = nullptr;
    EXPECT_EQ(ArchiveFolder::Create(IID_IShellFolder, &out), S_OK);
    auto* folder = static_cast<IShellFolder*>(out);
    IPersistFolder* persist = nullptr;
    EXPECT_EQ(folder->QueryInterface(IID_IPersistFolder, reinterpret_cast<void**>(&persist)),
              S_OK);
    EXPECT_EQ(persist->Initialize(shellList_), S_OK);
    persist->Release();
    folders_.push_back(folder);
    return folder;
  }

  static ArchiveFolder* Inside(IShellFolder* folder) { return static_cast<ArchiveFolder*>(folder); }

  std::vector<std::string> List(IShellFolder* folder, SHCONTF flags, ReceivedItems& items) {
    IEnumIDList* enumerator = nullptr;
    EXPECT_EQ(folder->EnumObjects(nullptr, flags, &enumerator), S_OK);
    if (!enumerator) return {};
    ReadAll(enumerator, items);
    EXPECT_EQ(enumerator->Release(), 0u);
    return Paths(items);
  }

  std::vector<std::string> List(IShellFolder* folder, SHCONTF flags = Everything) {
    ReceivedItems items;
    return List(folder, flags, items);
  }

  IShellFolder* Bind(IShellFolder* folder, const ItemId& item) {
    void* out = nullptr;
    EXPECT_EQ(folder->BindToObject(reinterpret_cast<LPCITEMIDLIST>(&item), nullptr,
                                   IID_IShellFolder, &out),
              S_OK);
    if (out) folders_.push_back(static_cast<IShellFolder*>(out));
    return static_cast<IShellFolder*>(out);
  }

  // The item with `path` from the folder's enumeration.
  HeldItem Find(IShellFolder* folder, const std::string& path) {
    ReceivedItems items;
    List(folder, Everything, items);
    for (std::size_t i = 0; i < items.size(); ++i)
      if (path == items[i].path) return items[i];
    ADD_FAILURE() << "no item " << path;
    return HeldItem{};
  }

  LONG startCount_ = ObjectCount();
  TempFolder dir_;
  std::string path_;
  LPITEMIDLIST shellList_ = nullptr;
  std::vector<IShellFolder*> folders_;
};

using Names = std::vector<std::string>;

}  // namespace

TEST_F(FolderTest, InitializeTakesTheShellsIdentifierListOfTheArchiveFile) {
  IShellFolder* root = Open({File("A.TXT")});
  ArchiveFolder* folder = Inside(root);
  EXPECT_EQ(lstrcmpiA(folder->archivePath, path_.c_str()), 0) << folder->archivePath;
  EXPECT_STREQ(folder->innerPath, "");
  EXPECT_EQ(folder->depth, 0);
  ASSERT_EQ(folder->absoluteIdList.Size(), ItemIdList::SizeOf(shellList_));
  EXPECT_EQ(std::memcmp(folder->absoluteIdList.Get(), shellList_, folder->absoluteIdList.Size()),
            0);
  EXPECT_NE(folder->absoluteIdList.Get(), shellList_);

  IPersistFolder* persist = nullptr;
  IShellIcon* icon = nullptr;
  ASSERT_EQ(root->QueryInterface(IID_IPersistFolder, reinterpret_cast<void**>(&persist)), S_OK);
  ASSERT_EQ(root->QueryInterface(IID_IShellIcon, reinterpret_cast<void**>(&icon)), S_OK);
  EXPECT_NE(static_cast<void*>(persist), static_cast<void*>(icon));
  CLSID id = {};
  EXPECT_EQ(persist->GetClassID(&id), S_OK);
  EXPECT_TRUE(IsEqualCLSID(id, CLSID_Tanuvia));
  EXPECT_EQ(persist->Release(), 2u);
  EXPECT_EQ(icon->Release(), 1u);
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(root->QueryInterface(IID_IPersist, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(persist->Initialize(nullptr), E_INVALIDARG);
  EXPECT_EQ(Names({"A.TXT"}), List(root));
}

TEST_F(FolderTest, EveryLevelListsItsFilesThenItsFolders) {
  IShellFolder* root = Open({File("A.TXT", "a", 111), File("DIR\\B.TXT", "b", 222),
                             File("DIR\\SUB\\C.TXT", "c", 333)});
  ReceivedItems items;
  EXPECT_EQ(Names({"A.TXT", "DIR"}), List(root, Everything, items));
  const ItemId& dir = items[1];
  EXPECT_EQ(dir.isSynthetic, 1u);
  EXPECT_EQ(dir.attributes, 0x10);
  EXPECT_EQ(dir.originalSize, 0u);
  EXPECT_EQ(dir.packedSize, 0);
  EXPECT_EQ(dir.method[0], '\0');
  EXPECT_EQ(dir.modifyTime, 222u);  // from the member that introduced the folder
  EXPECT_EQ(items[0].isSynthetic, 0u);
  EXPECT_EQ(items[0].originalSize, 1u);

  EXPECT_EQ(Names({"A.TXT"}), List(root, SHCONTF_NONFOLDERS));
  EXPECT_EQ(Names({"DIR"}), List(root, SHCONTF_FOLDERS));
  EXPECT_EQ(Names({"A.TXT", "DIR"}), List(root, Everything | SHCONTF_INCLUDEHIDDEN));

  IShellFolder* sub = Bind(root, dir);
  ReceivedItems subItems;
  EXPECT_EQ(Names({"DIR\\B.TXT", "DIR\\SUB"}), List(sub, Everything, subItems));
  EXPECT_EQ(subItems[1].isSynthetic, 1u);
  EXPECT_EQ(subItems[1].modifyTime, 333u);
  IShellFolder* subsub = Bind(sub, subItems[1]);
  EXPECT_EQ(Names({"DIR\\SUB\\C.TXT"}), List(subsub));
}

TEST_F(FolderTest, FolderEntriesReplaceSyntheticRowsWhereverTheyStand) {
  // After its members: the root's DIR is built from the entry.
  IShellFolder* root = Open({File("DIR\\B.TXT", "b", 222), FolderEntry("DIR\\", 999),
                             File("DIR\\SUB\\C.TXT")});
  ReceivedItems items;
  EXPECT_EQ(Names({"DIR"}), List(root, Everything, items));
  EXPECT_EQ(items[0].isSynthetic, 0u);
  EXPECT_STREQ(items[0].method, "-lhd-");
  EXPECT_EQ(items[0].modifyTime, 999u);
  IShellFolder* dir = Bind(root, items[0]);
  EXPECT_EQ(Names({"DIR\\B.TXT", "DIR\\SUB"}), List(dir));

  // Before any member of its parent: the parent row carries the entry's header.
  IShellFolder* other = Open({FolderEntry("TOP\\SUB\\", 555), File("TOP\\SUB\\X.TXT"),
                              File("TOP\\Y.TXT", "y", 777)},
                             "U.LZH");
  ReceivedItems top;
  EXPECT_EQ(Names({"TOP"}), List(other, Everything, top));
  EXPECT_EQ(top[0].isSynthetic, 0u);
  EXPECT_EQ(top[0].modifyTime, 555u);
  IShellFolder* topFolder = Bind(other, top[0]);
  ReceivedItems inner;
  EXPECT_EQ(Names({"TOP\\Y.TXT", "TOP\\SUB"}), List(topFolder, Everything, inner));
  EXPECT_STREQ(inner[1].method, "-lhd-");
  // A folder entry gives no file item.
  EXPECT_EQ(Names({"TOP\\SUB\\X.TXT"}), List(Bind(topFolder, inner[1])));
}

TEST_F(FolderTest, LetterCaseVariantsShareOneFolder) {
  IShellFolder* root = Open({File("dir\\x.txt"), File("DIR\\y.txt"), File("Dir\\Sub\\z.txt"),
                             File("DIR\\SUB\\w.txt")});
  ReceivedItems items;
  EXPECT_EQ(Names({"dir"}), List(root, Everything, items));
  IShellFolder* dir = Bind(root, items[0]);
  ReceivedItems inner;
  EXPECT_EQ(Names({"dir\\x.txt", "DIR\\y.txt", "Dir\\Sub"}), List(dir, Everything, inner));
  EXPECT_EQ(Names({"Dir\\Sub\\z.txt", "DIR\\SUB\\w.txt"}), List(Bind(dir, inner[2])));

  // A folder entry's spelling replaces the first one.
  IShellFolder* other = Open({File("dir\\x.txt"), FolderEntry("DiR\\")}, "U.LZH");
  EXPECT_EQ(Names({"DiR"}), List(other));
}

TEST_F(FolderTest, ShiftJisTrailBytesAreNotBackslashes) {
  // 0x95 0x5C and 0x83 0x5C are single characters whose second byte is a backslash.
  const std::string hyo = "\x95\x5C", so = "\x83\x5C";
  IShellFolder* root = Open({File(hyo + "\\A.TXT"), File(hyo + "\\" + so + "\\B.TXT"),
                             File("\x82\xA0.TXT"), File(hyo + "\\" + so + ".TXT")});
  ReceivedItems items;
  EXPECT_EQ(Names({"\x82\xA0.TXT", hyo}), List(root, Everything, items));
  IShellFolder* first = Bind(root, items[1]);
  EXPECT_STREQ(Inside(first)->innerPath, (hyo + "\\").c_str());
  EXPECT_EQ(Inside(first)->depth, 1);
  ReceivedItems inner;
  EXPECT_EQ(Names({hyo + "\\A.TXT", hyo + "\\" + so + ".TXT", hyo + "\\" + so}),
            List(first, Everything, inner));
  IShellFolder* second = Bind(first, inner[2]);
  EXPECT_EQ(Inside(second)->depth, 2);
  EXPECT_EQ(Names({hyo + "\\" + so + "\\B.TXT"}), List(second));
}

TEST_F(FolderTest, AMemberPathLongerThanTheItemFieldIsCutNotOverflowed) {
  std::string directory = std::string(200, 'D') + "\\";
  std::string name = std::string(100, 'N') + ".TXT";
  IShellFolder* root = Open({File(directory + name, "long"), File("B.TXT")});
  ReceivedItems items;
  EXPECT_EQ(Names({"B.TXT", std::string(200, 'D')}), List(root, Everything, items));
  IShellFolder* dir = Bind(root, items[1]);
  ReceivedItems inner;
  List(dir, Everything, inner);
  ASSERT_EQ(inner.size(), 1u);
  EXPECT_EQ(std::string(inner[0].path), (directory + name).substr(0, 259));

  // Binding to an item whose path leaves no room for the folder's backslash is refused.
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(dir->BindToObject(inner.items[0], nullptr, IID_IShellFolder, &out), E_INVALIDARG);
  EXPECT_EQ(out, nullptr);
  // Its display names stay within STRRET.
  STRRET name1 = {};
  ASSERT_EQ(dir->GetDisplayNameOf(inner.items[0], SHGDN_NORMAL, &name1), S_OK);
  EXPECT_EQ(StrRetText(name1, inner.items[0]), (directory + name).substr(201, 259 - 201));
}

TEST_F(FolderTest, NextSkipAndResetCountAsTheShellExpects) {
  IShellFolder* root = Open({File("A"), File("B"), File("C")});
  IEnumIDList* enumerator = nullptr;
  ASSERT_EQ(root->EnumObjects(nullptr, Everything, &enumerator), S_OK);
  ReceivedItems got;
  got.items.resize(10);
  ULONG fetched = 99;
  EXPECT_EQ(enumerator->Next(10, got.items.data(), &fetched), S_FALSE);
  EXPECT_EQ(fetched, 3u);
  got.items.resize(3);
  EXPECT_EQ(Names({"A", "B", "C"}), Paths(got));
  // Every copy is a one-item list closed by a zero.
  EXPECT_EQ(ItemIdList::SizeOf(got.items[0]), 312u);
  LPITEMIDLIST more = nullptr;
  EXPECT_EQ(enumerator->Next(1, &more, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(enumerator->Reset(), S_OK);
  ReceivedItems again;
  ReadAll(enumerator, again);
  EXPECT_EQ(Names({"A", "B", "C"}), Paths(again));

  enumerator->Reset();
  EXPECT_EQ(enumerator->Skip(1), S_OK);
  ReceivedItems rest;
  ReadAll(enumerator, rest);
  EXPECT_EQ(Names({"B", "C"}), Paths(rest));
  enumerator->Reset();
  EXPECT_EQ(enumerator->Skip(5), S_FALSE);
  EXPECT_EQ(enumerator->Next(1, &more, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(enumerator->Next(0, &more, &fetched), S_OK);
  IEnumIDList* clone = reinterpret_cast<IEnumIDList*>(1);
  EXPECT_EQ(enumerator->Clone(&clone), E_NOTIMPL);
  EXPECT_EQ(enumerator->Release(), 0u);
}

namespace {

// A task allocator that refuses after a number of allocations.
class RationedAllocator : public IMalloc {
 public:
  RationedAllocator(IMalloc* real, int allowed) : real_(real), allowed_(allowed) {}
  STDMETHODIMP QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 1; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP_(void*) Alloc(SIZE_T size) override {
    return allowed_-- > 0 ? real_->Alloc(size) : nullptr;
  }
  STDMETHODIMP_(void*) Realloc(void* p, SIZE_T size) override { return real_->Realloc(p, size); }
  STDMETHODIMP_(void) Free(void* p) override { real_->Free(p); }
  STDMETHODIMP_(SIZE_T) GetSize(void* p) override { return real_->GetSize(p); }
  STDMETHODIMP_(int) DidAlloc(void* p) override { return real_->DidAlloc(p); }
  STDMETHODIMP_(void) HeapMinimize() override { real_->HeapMinimize(); }

 private:
  IMalloc* real_;
  int allowed_;
};

}  // namespace

TEST_F(FolderTest, AFailedCopyKeepsTheEnumeratorsPositionWithItsCursor) {
  IShellFolder* root = Open({File("A"), File("B"), File("C")});
  IEnumIDList* enumerator = nullptr;
  ASSERT_EQ(root->EnumObjects(nullptr, Everything, &enumerator), S_OK);
  IMalloc* real = TaskAllocator;
  RationedAllocator rationed(real, 1);
  TaskAllocator = &rationed;
  ReceivedItems got;
  got.items.resize(3);
  ULONG fetched = 0;
  HRESULT result = enumerator->Next(3, got.items.data(), &fetched);
  TaskAllocator = real;
  EXPECT_EQ(result, E_OUTOFMEMORY);
  EXPECT_EQ(fetched, 1u);
  got.items.resize(1);
  EXPECT_EQ(Names({"A"}), Paths(got));
  // The next call goes on after the item already handed out and stops at the end of the list.
  ReceivedItems rest;
  rest.items.resize(5);
  EXPECT_EQ(enumerator->Next(5, rest.items.data(), &fetched), S_FALSE);
  EXPECT_EQ(fetched, 2u);
  rest.items.resize(fetched);
  EXPECT_EQ(Names({"B", "C"}), Paths(rest));
  enumerator->Release();
}

TEST_F(FolderTest, CompareIdsAnswersWithThePlainComparison) {
  IShellFolder* root = Open({File("b.txt", "bb", 10), File("a.txt", "aaaa", 20),
                             File("DIR\\x", "x", 5)});
  HeldItem a = Find(root, "a.txt"), b = Find(root, "b.txt"), dir = Find(root, "DIR");
  auto cmp = [&](LPARAM column, const ItemId& x, const ItemId& y) {
    return root->CompareIDs(column, reinterpret_cast<LPCITEMIDLIST>(&x),
                            reinterpret_cast<LPCITEMIDLIST>(&y));
  };
  EXPECT_EQ(cmp(0, dir, a), static_cast<HRESULT>(0xFFFFFFFF));
  EXPECT_EQ(cmp(0, a, b), static_cast<HRESULT>(0xFFFFFFFF));
  EXPECT_EQ(cmp(0, b, a), 1);
  EXPECT_EQ(cmp(1, a, b), 1);                                    // 4 bytes after 2
  EXPECT_EQ(cmp(1, dir, b), static_cast<HRESULT>(0xFFFFFFFF));  // no folders-first here
  EXPECT_EQ(cmp(3, a, b), 1);
  EXPECT_EQ(cmp(4, a, b), 0);  // both stored: 1000 per mille
  EXPECT_EQ(cmp(5, a, b), 0);
  EXPECT_EQ(cmp(6, a, a), 0);
  EXPECT_EQ(cmp(9, a, b), 0);
  EXPECT_EQ(cmp(0x80000000 | 1, a, b), 1);  // flags in the high word do not change the column
  ItemId broken = a;
  broken.size = 12;
  EXPECT_EQ(cmp(0, broken, a), E_INVALIDARG);
}

TEST_F(FolderTest, AttributesNarrowTheCallersMask) {
  IShellFolder* root = Open({File("A.TXT"), File("DIR\\B")});
  HeldItem file = Find(root, "A.TXT"), dir = Find(root, "DIR");
  LPCITEMIDLIST fileList[] = {reinterpret_cast<LPCITEMIDLIST>(&file)};
  LPCITEMIDLIST dirList[] = {reinterpret_cast<LPCITEMIDLIST>(&dir)};
  LPCITEMIDLIST both[] = {fileList[0], dirList[0]};
  SFGAOF mask = 0xFFFFFFFF;
  EXPECT_EQ(root->GetAttributesOf(1, fileList, &mask), S_OK);
  EXPECT_EQ(mask, 0x40000071u);
  mask = 0xFFFFFFFF;
  EXPECT_EQ(root->GetAttributesOf(1, dirList, &mask), S_OK);
  EXPECT_EQ(mask, 0xE0000171u);
  EXPECT_TRUE(mask & SFGAO_HASSUBFOLDER);
  EXPECT_FALSE(mask & (SFGAO_CANMOVE | SFGAO_CANLINK));
  mask = 0xFFFFFFFF;
  EXPECT_EQ(root->GetAttributesOf(2, both, &mask), S_OK);
  EXPECT_EQ(mask, 0x40000071u & 0xE0000171u);
  mask = 0xFFFFFFFF;
  EXPECT_EQ(root->GetAttributesOf(0, nullptr, &mask), S_OK);
  EXPECT_EQ(mask, 0x40000150u);
  mask = SFGAO_FOLDER | SFGAO_CANCOPY;
  EXPECT_EQ(root->GetAttributesOf(1, dirList, &mask), S_OK);
  EXPECT_EQ(mask, static_cast<SFGAOF>(SFGAO_FOLDER | SFGAO_CANCOPY));
}

namespace {

// Explorer's "show extensions" bit in ShellState and a registered test extension.
class DisplaySettings {
 public:
  DisplaySettings() {
    HKEY key;
    RegCreateKeyA(HKEY_CLASSES_ROOT, ".tnxreg", &key);
    RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("tnxfile"), 8);
    RegCloseKey(key);
  }
  ~DisplaySettings() {
    RegDeleteKeyA(HKEY_CLASSES_ROOT, ".tnxreg");
    SHDeleteValueA(HKEY_CURRENT_USER, ExplorerKey, "ShellState");
  }
  static void ShowExtensions(bool show) {
    BYTE state[8] = {8, 0, 0, 0, static_cast<BYTE>(show ? 0x02 : 0x00), 0, 0, 0};
    SHSetValueA(HKEY_CURRENT_USER, ExplorerKey, "ShellState", REG_BINARY, state, sizeof state);
  }
  static constexpr const char* ExplorerKey =
      "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer";
};

}  // namespace

TEST_F(FolderTest, DisplayNamesInAllFourFormsWithExtensionsShownAndHidden) {
  DisplaySettings settings;
  IShellFolder* root = Open({File("A.TNXREG"), File("DIR\\A.TNXREG"), File("DIR\\B.QQQNONE"),
                             File("DIR\\SUB.TNXREG\\C")});
  HeldItem top = Find(root, "A.TNXREG");
  IShellFolder* dir = Bind(root, Find(root, "DIR"));
  HeldItem inner = Find(dir, "DIR\\A.TNXREG"), other = Find(dir, "DIR\\B.QQQNONE");
  HeldItem folder = Find(dir, "DIR\\SUB.TNXREG");
  auto name = [&](IShellFolder* f, const ItemId& item, SHGDNF flags) {
    STRRET out = {};
    LPCITEMIDLIST list = reinterpret_cast<LPCITEMIDLIST>(&item);
    EXPECT_EQ(f->GetDisplayNameOf(list, flags, &out), S_OK);
    return StrRetText(out, list);
  };

  DisplaySettings::ShowExtensions(true);
  EXPECT_EQ(name(dir, inner, SHGDN_NORMAL), "A.TNXREG");
  EXPECT_EQ(name(dir, inner, SHGDN_INFOLDER), "A.TNXREG");
  EXPECT_EQ(name(root, top, SHGDN_NORMAL), "A.TNXREG");
  EXPECT_EQ(name(dir, inner, SHGDN_FORPARSING), "DIR\\A.TNXREG");
  EXPECT_EQ(name(dir, inner, SHGDN_FORADDRESSBAR),
            "file:" + std::string(Inside(root)->archivePath) + "/DIR\\A.TNXREG");

  DisplaySettings::ShowExtensions(false);
  EXPECT_EQ(name(dir, inner, SHGDN_NORMAL), "A");
  EXPECT_EQ(name(dir, inner, SHGDN_INFOLDER), "A");
  EXPECT_EQ(name(root, top, SHGDN_NORMAL), "A");
  EXPECT_EQ(name(dir, other, SHGDN_NORMAL), "B.QQQNONE");  // not a registered type
  EXPECT_EQ(name(dir, folder, SHGDN_NORMAL), "SUB.TNXREG");  // folders keep their names
  EXPECT_EQ(name(dir, inner, SHGDN_FORPARSING), "DIR\\A.TNXREG");
  EXPECT_EQ(name(dir, inner, SHGDN_INFOLDER | SHGDN_FOREDITING), "A.TNXREG");
  EXPECT_EQ(name(dir, inner, SHGDN_INFOLDER | SHGDN_FORPARSING), "A.TNXREG");

  STRRET out = {};
  ItemId broken = inner;
  broken.size = 20;
  EXPECT_EQ(dir->GetDisplayNameOf(reinterpret_cast<LPCITEMIDLIST>(&broken), 0, &out),
            E_INVALIDARG);
}

TEST_F(FolderTest, AddressBarNamesLongerThanStrretAreHandedOutWhole) {
  // Archive path and member path together pass 260 bytes.
  std::string directory = std::string(120, 'D') + "\\";
  std::string memberName = std::string(130, 'n') + "\x82\xA0.TXT";
  IShellFolder* root = Open({File(directory + memberName)},
                            std::string(60, 'L') + ".LZH");
  IShellFolder* dir = Bind(root, Find(root, std::string(120, 'D')));
  HeldItem item = Find(dir, directory + memberName);
  std::string expected = "file:" + std::string(Inside(root)->archivePath) + "/" + directory +
                         memberName;
  ASSERT_GT(expected.size(), 260u);
  STRRET out = {};
  LPCITEMIDLIST list = reinterpret_cast<LPCITEMIDLIST>(&item);
  ASSERT_EQ(dir->GetDisplayNameOf(list, SHGDN_FORADDRESSBAR, &out), S_OK);
  EXPECT_EQ(out.uType, static_cast<UINT>(STRRET_WSTR));
  EXPECT_EQ(StrRetText(out, list), expected);
}

TEST_F(FolderTest, SetNameOfRenamesAMemberAndTheArchiveStillDecodes) {
  IShellFolder* root = Open({File("A.TXT", "first"), File("DIR\\B.TXT", "second member"),
                             File("DIR\\C.TXT", "third")});
  IShellFolder* dir = Bind(root, Find(root, "DIR"));
  HeldItem b = Find(dir, "DIR\\B.TXT");
  LPCITEMIDLIST list = reinterpret_cast<LPCITEMIDLIST>(&b);
  LPITEMIDLIST newItem = reinterpret_cast<LPITEMIDLIST>(1);
  EXPECT_EQ(dir->SetNameOf(nullptr, list, L"RENAMED.TXT", SHGDN_INFOLDER, &newItem), S_OK);
  EXPECT_EQ(newItem, nullptr);
  EXPECT_EQ(Names({"DIR\\RENAMED.TXT", "DIR\\C.TXT"}), List(dir));

  // Another Archive on the file sees the renamed member and decodes every member.
  Archive* check = new Archive;
  check->Retain();
  ASSERT_EQ(check->OpenFile(path_.c_str()), ResultOk);
  EntryEnumerator* snapshot = check->EnumEntries();
  ASSERT_NE(snapshot, nullptr);
  EXPECT_EQ(snapshot->Count(), 3u);
  EXPECT_TRUE(snapshot->FindEntry("DIR\\RENAMED.TXT", nullptr));
  EXPECT_FALSE(snapshot->FindEntry("DIR\\B.TXT", nullptr));
  snapshot->Release();
  const char* members[][2] = {{"A.TXT", "first"}, {"DIR\\RENAMED.TXT", "second member"},
                              {"DIR\\C.TXT", "third"}};
  for (auto& member : members) {
    platform::MemoryBlock block = platform::NoBlock;
    ASSERT_EQ(check->DecodeMember(member[0], &block, nullptr), 0) << member[0];
    void* data = platform::LockBlock(block);
    EXPECT_EQ(std::string(static_cast<char*>(data), std::strlen(member[1])), member[1]);
    platform::UnlockBlock(block);
    platform::FreeBlock(block);
  }
  check->Release();
}

// A rename whose commit fails is taken back: the next rename commits only itself.
TEST_F(FolderTest, AFailedRenameIsNotCommittedWithTheNextChange) {
  IShellFolder* root = Open({File("A.TXT", "first"), File("B.TXT", "second")});
  HeldItem a = Find(root, "A.TXT"), b = Find(root, "B.TXT");
  std::string before = ReadText(path_);
  platform::FailNthWrite(1);
  EXPECT_EQ(root->SetNameOf(nullptr, reinterpret_cast<LPCITEMIDLIST>(&a), L"GONE.TXT",
                            SHGDN_INFOLDER, nullptr),
            E_FAIL);
  platform::FailNthWrite(0);
  EXPECT_EQ(ReadText(path_), before);
  EXPECT_EQ(root->SetNameOf(nullptr, reinterpret_cast<LPCITEMIDLIST>(&b), L"NEW.TXT",
                            SHGDN_INFOLDER, nullptr),
            S_OK);
  EXPECT_EQ(Names({"A.TXT", "NEW.TXT"}), List(root));
}

TEST_F(FolderTest, SetNameOfRefusesNamesThatCannotStand) {
  IShellFolder* root =
      Open({File("A.TXT"), File("B.TXT"), FolderEntry("DIR\\"), File("DIR\\X"), File("DIR\\S\\Y")});
  HeldItem a = Find(root, "A.TXT"), dir = Find(root, "DIR");
  LPCITEMIDLIST list = reinterpret_cast<LPCITEMIDLIST>(&a);
  std::string before = ReadText(path_);
  EXPECT_EQ(root->SetNameOf(nullptr, list, L"A.TXT", SHGDN_INFOLDER, nullptr), S_OK);
  EXPECT_EQ(root->SetNameOf(nullptr, list, L"", SHGDN_INFOLDER, nullptr), S_FALSE);
  EXPECT_EQ(root->SetNameOf(nullptr, list, L"a:b", SHGDN_INFOLDER, nullptr), S_FALSE);
  EXPECT_EQ(root->SetNameOf(nullptr, list, L"a\\b", SHGDN_INFOLDER, nullptr), S_FALSE);
  EXPECT_EQ(root->SetNameOf(nullptr, list, L"B.TXT", SHGDN_INFOLDER, nullptr), S_FALSE);
  EXPECT_EQ(root->SetNameOf(nullptr, list, L"b.txt", SHGDN_INFOLDER, nullptr), S_FALSE);
  EXPECT_EQ(root->SetNameOf(nullptr, list, L"dir", SHGDN_INFOLDER, nullptr), S_FALSE);
  EXPECT_EQ(root->SetNameOf(nullptr, list, L"C.TXT", SHGDN_NORMAL, nullptr), E_NOTIMPL);
  std::wstring tooLong(300, L'x');
  EXPECT_EQ(root->SetNameOf(nullptr, list, tooLong.c_str(), SHGDN_INFOLDER, nullptr), S_FALSE);
  // A folder may not take a name a member holds, nor one the archive's names cannot hold.
  EXPECT_EQ(root->SetNameOf(nullptr, dir.list(), L"b.txt", SHGDN_INFOLDER, nullptr), S_FALSE);
  EXPECT_EQ(root->SetNameOf(nullptr, dir.list(), L"\x00e9", SHGDN_INFOLDER, nullptr), S_FALSE);
  EXPECT_EQ(ReadText(path_), before);
  // A case change of its own name is a rename.
  EXPECT_EQ(root->SetNameOf(nullptr, list, L"a.txt", SHGDN_INFOLDER, nullptr), S_OK);
  EXPECT_EQ(Names({"a.txt", "B.TXT", "DIR"}), List(root));
  // A folder is renamed with everything below it, its own entry included, in one rewrite.
  EXPECT_EQ(root->SetNameOf(nullptr, dir.list(), L"\x8868", SHGDN_INFOLDER, nullptr), S_OK);  // 表
  EXPECT_EQ(Names({"a.txt", "B.TXT", "\x95\x5c"}), List(root));
  EXPECT_EQ(Names({"\x95\x5c\\X", "\x95\x5c\\S"}), List(Bind(root, Find(root, "\x95\x5c"))));
}

TEST_F(FolderTest, ARenameThatCannotBeCommittedIsReportedAsAFailure) {
  IShellFolder* root = Open({File("A.TXT", "first"), File("B.TXT", "second")});
  HeldItem a = Find(root, "A.TXT");
  std::string before = ReadText(path_);
  // Another user holds the archive locked: the rewrite cannot take it.
  HANDLE other = CreateFileA(path_.c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                             nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(LockFile(other, 0, 0, 0xFFFFFFFF, 0));
  EXPECT_EQ(root->SetNameOf(nullptr, a.list(), L"C.TXT", SHGDN_INFOLDER, nullptr), E_FAIL);
  UnlockFile(other, 0, 0, 0xFFFFFFFF, 0);
  CloseHandle(other);
  EXPECT_EQ(ReadText(path_), before);
  EXPECT_EQ(Names({"A.TXT", "B.TXT"}), List(root));
}

TEST_F(FolderTest, BindToObjectTwoLevelsAndAMultiLevelIdentifier) {
  IShellFolder* root = Open({File("DIR\\SUB\\A.TXT")});
  HeldItem dir = Find(root, "DIR");
  IShellFolder* first = Bind(root, dir);
  EXPECT_STREQ(Inside(first)->innerPath, "DIR\\");
  EXPECT_EQ(Inside(first)->depth, 1);
  EXPECT_EQ(lstrcmpiA(Inside(first)->archivePath, path_.c_str()), 0);
  EXPECT_EQ(Inside(first)->archive, Inside(root)->archive);
  std::uint32_t shellCount = ItemIdList(shellList_).Count();
  EXPECT_EQ(Inside(first)->absoluteIdList.Count(), shellCount + 1);
  HeldItem sub = Find(first, "DIR\\SUB");
  IShellFolder* second = Bind(first, sub);
  EXPECT_STREQ(Inside(second)->innerPath, "DIR\\SUB\\");
  EXPECT_EQ(Inside(second)->depth, 2);
  EXPECT_EQ(Inside(second)->absoluteIdList.Count(), shellCount + 2);
  EXPECT_EQ(Names({"DIR\\SUB\\A.TXT"}), List(second));

  // Both levels in one relative identifier.
  ItemIdList both;
  both.AssignItem(reinterpret_cast<LPCITEMIDLIST>(&dir));
  both.AppendItem(reinterpret_cast<LPCITEMIDLIST>(&sub));
  void* out = nullptr;
  ASSERT_EQ(root->BindToObject(both.Get(), nullptr, IID_IShellFolder, &out), S_OK);
  folders_.push_back(static_cast<IShellFolder*>(out));
  EXPECT_STREQ(Inside(static_cast<IShellFolder*>(out))->innerPath, "DIR\\SUB\\");
  EXPECT_EQ(Inside(static_cast<IShellFolder*>(out))->depth, 2);

  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(root->BindToObject(reinterpret_cast<LPCITEMIDLIST>(&dir), nullptr, IID_IShellView,
                               &out),
            E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(root->BindToStorage(reinterpret_cast<LPCITEMIDLIST>(&dir), nullptr, IID_IStream,
                                &out),
            E_NOTIMPL);
}

TEST_F(FolderTest, IconIndexesForFoldersAndFiles) {
  IShellFolder* root = Open({File("A.TXT"), File("RUN.BAT"), File("SETUP.EXE"), File("DIR\\X")});
  IShellIcon* icon = nullptr;
  ASSERT_EQ(root->QueryInterface(IID_IShellIcon, reinterpret_cast<void**>(&icon)), S_OK);
  auto index = [&](const char* path, UINT flags) {
    HeldItem item = Find(root, path);
    int value = -1;
    HRESULT result = icon->GetIconOf(reinterpret_cast<LPCITEMIDLIST>(&item), flags, &value);
    return result == S_OK ? value : -100 - result;
  };
  EXPECT_EQ(index("DIR", 0), 3);
  EXPECT_EQ(index("DIR", GIL_OPENICON), 4);
  EXPECT_EQ(index("RUN.BAT", 0), 2);
  EXPECT_EQ(index("SETUP.EXE", 0), 2);
  EXPECT_EQ(index("A.TXT", 0), 1);
  icon->Release();
}

TEST_F(FolderTest, ObjectsThatDoNotExistAreRefusedWithTheRightCodes) {
  IShellFolder* root = Open({File("A.TXT"), File("B.TXT")});
  HeldItem a = Find(root, "A.TXT"), b = Find(root, "B.TXT");
  LPCITEMIDLIST two[] = {reinterpret_cast<LPCITEMIDLIST>(&a), reinterpret_cast<LPCITEMIDLIST>(&b)};
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(root->GetUIObjectOf(nullptr, 2, two, IID_IExtractIconA, nullptr, &out), E_INVALIDARG);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(root->GetUIObjectOf(nullptr, 2, two, IID_IDropTarget, nullptr, &out), E_INVALIDARG);
  EXPECT_EQ(root->GetUIObjectOf(nullptr, 1, two, IID_IStream, nullptr, &out), E_NOINTERFACE);
  EXPECT_EQ(root->CreateViewObject(nullptr, IID_IStream, &out), E_NOINTERFACE);
  EXPECT_EQ(root->ParseDisplayName(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            E_NOTIMPL);
}
