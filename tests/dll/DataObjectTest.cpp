// The data object that carries members out of an archive: every format's bytes, in both modes,
// and a round trip through the clipboard as another application reads it.
#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dll/FolderTestSupport.h"
#include "archive/ArchiveRewrite.h"
#include "namespace/ArchiveFolder.h"
#include "operations/ArchiveDataObject.h"
#include "operations/TempCopy.h"
#include "support/OpenArchive.h"

using namespace foldertest;

namespace {

FORMATETC Format(UINT cf, LONG index = -1, DWORD tymed = TYMED_HGLOBAL) {
  return FORMATETC{static_cast<CLIPFORMAT>(cf), nullptr, DVASPECT_CONTENT, index, tymed};
}

// The bytes of one rendered format (empty when GetData failed).
std::string Get(IDataObject* object, UINT cf, LONG index = -1, HRESULT* result = nullptr) {
  FORMATETC format = Format(cf, index);
  STGMEDIUM medium = {};
  HRESULT got = object->GetData(&format, &medium);
  if (result) *result = got;
  if (got != S_OK) return {};
  EXPECT_EQ(medium.pUnkForRelease, nullptr) << "the receiver frees the block";
  std::string bytes(static_cast<const char*>(GlobalLock(medium.hGlobal)),
                    GlobalSize(medium.hGlobal));
  GlobalUnlock(medium.hGlobal);
  ReleaseStgMedium(&medium);
  return bytes;
}

std::vector<std::string> DropFiles(const std::string& bytes) {
  std::vector<std::string> names;
  const auto* header = reinterpret_cast<const DROPFILES*>(bytes.data());
  EXPECT_EQ(header->pFiles, 20u);
  EXPECT_FALSE(header->fWide);
  for (const char* p = bytes.data() + header->pFiles; *p; p += std::strlen(p) + 1) names.push_back(p);
  return names;
}

// Run as the shell makes the object (copies decoded on every core), and with one and three threads.
class DataObjectTest : public testing::TestWithParam<unsigned> {
 protected:
  void SetUp() override {
    OleInitialize(nullptr);
    path_ = dir_ / "T.LZH";
    RawMember bad = File("BAD.TXT", "damaged");
    bad.crc = 0x1234;
    RawMember colon = File("C\\a:b", "colon");
    ASSERT_TRUE(WriteArchive(path_, {File("A\\ONE.TXT", "one", 1600000000), File("A\\SUB\\TWO.TXT", "two"),
                                     File("AB\\X.TXT", "sibling"), File("B\\ONE.TXT", "other one"),
                                     bad, colon, StoredMember("EMPTY.TXT", Bytes{}),
                                     File("D\\ONE.TXT", "third one"), StoredMember("E0", Bytes{})}));
    list_ = ShellIdListOf(path_);
    void* out = nullptr;
    ASSERT_EQ(ArchiveFolder::Create(IID_IShellFolder, &out), S_OK);
    root_ = static_cast<ArchiveFolder*>(static_cast<IShellFolder*>(out));
    ASSERT_EQ(root_->Initialize(list_), S_OK);
  }
  void TearDown() override {
    for (const std::string& folder : made_) RemoveTempFolder(folder.c_str());
    if (root_) root_->Release();
    CoTaskMemFree(list_);
    EXPECT_EQ(ObjectCount(), 0) << "objects left alive";
  }

  HeldItem Item(const std::string& path) { return ListedItem(root_, path); }

  // Replaces the member at `place` of the archive with `text` through an Archive of its own.
  void ReplaceMember(std::size_t place, const std::string& text) {
    const std::string fresh = dir_ / "fresh";
    ASSERT_TRUE(WriteBytes(fresh, TextBytes(text)));
    OpenArchive writer(path_);
    ArchiveEntry entry = writer.Members().at(place);
    entry.originalSize = static_cast<std::uint32_t>(text.size());
    ASSERT_TRUE(StageFile(*writer, &entry, fresh.c_str(), nullptr, nullptr));
    ASSERT_TRUE(Commit(*writer));
  }

  IDataObject* Make(const std::vector<std::string>& paths, DWORD mode) {
    std::vector<HeldItem> held;
    for (const auto& path : paths) held.push_back(Item(path));
    std::vector<LPCITEMIDLIST> lists;
    for (const auto& item : held) lists.push_back(item.list());
    void* out = nullptr;
    if (mode == ArchiveDataObject::DragMode && GetParam() == 0) {
      EXPECT_EQ(root_->GetUIObjectOf(nullptr, static_cast<UINT>(lists.size()), lists.data(),
                                     IID_IDataObject, nullptr, &out),
                S_OK);
    } else {
      EXPECT_EQ(ArchiveDataObject::Create(root_, static_cast<UINT>(lists.size()), lists.data(), mode,
                                          IID_IDataObject, &out, GetParam()),
                S_OK);
    }
    return static_cast<IDataObject*>(out);
  }

  TempFolder dir_;
  std::string path_;
  LPITEMIDLIST list_ = nullptr;
  ArchiveFolder* root_ = nullptr;
  std::vector<std::string> made_;
};

std::vector<UINT> Offered(IDataObject* object) {
  IEnumFORMATETC* formats = nullptr;
  EXPECT_EQ(object->EnumFormatEtc(DATADIR_GET, &formats), S_OK);
  std::vector<UINT> out;
  FORMATETC format;
  while (formats->Next(1, &format, nullptr) == S_OK) {
    EXPECT_EQ(format.lindex, -1);
    EXPECT_EQ(format.tymed, static_cast<DWORD>(TYMED_HGLOBAL | TYMED_ISTREAM));
    out.push_back(format.cfFormat);
  }
  EXPECT_EQ(formats->Skip(1), S_FALSE);
  formats->Reset();
  IEnumFORMATETC* clone = nullptr;
  EXPECT_EQ(formats->Clone(&clone), S_OK);
  ULONG fetched = 0;
  std::vector<FORMATETC> all(10);
  EXPECT_EQ(clone->Next(10, all.data(), &fetched), S_FALSE);
  EXPECT_EQ(fetched, out.size());
  clone->Release();
  formats->Release();
  return out;
}

// Folders "A", "B" and "D" and a damaged member: each folder becomes itself, its folders and its
// members (not the sibling "AB"), written as a tree in the object's own folder, so the three
// "ONE.TXT" keep their names; the damaged member is described but has no copy and no contents.
TEST_P(DataObjectTest, EveryFormatDescribesTheSelectionsTreeInDragMode) {
  const ClipboardFormatIds& ids = ClipboardFormats;
  IDataObject* object = Make({"A", "B", "D", "BAD.TXT"}, ArchiveDataObject::DragMode);
  ASSERT_NE(object, nullptr);
  auto* data = static_cast<ArchiveDataObject*>(object);
  EXPECT_TRUE(data->TemporaryPaths().empty()) << "nothing is decoded before it is asked for";
  EXPECT_EQ(Offered(object), (std::vector<UINT>{ids.fileContents, ids.fileGroupDescriptor,
                                                ids.fileNameMap, CF_HDROP, ids.shellIdListArray}));

  std::string group = Get(object, ids.fileGroupDescriptor);
  ASSERT_EQ(group.size(), 4u + 9 * 332);
  const auto* descriptors = reinterpret_cast<const FILEGROUPDESCRIPTORA*>(group.data());
  ASSERT_EQ(descriptors->cItems, 9u);
  const char* names[] = {"A", "A\\ONE.TXT", "A\\SUB", "A\\SUB\\TWO.TXT", "B", "B\\ONE.TXT",
                         "D", "D\\ONE.TXT", "BAD.TXT"};
  const DWORD sizes[] = {0, 3, 0, 3, 0, 9, 0, 9, 7};
  for (int i = 0; i < 9; ++i) {
    const FILEDESCRIPTORA& d = descriptors->fgd[i];
    EXPECT_EQ(d.dwFlags, 0x7Eu);
    EXPECT_STREQ(d.cFileName, names[i]);
    EXPECT_EQ(d.nFileSizeLow, sizes[i]);
    EXPECT_EQ((d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, sizes[i] == 0) << names[i];
    EXPECT_EQ(d.pointl.x, 46);
    EXPECT_EQ(d.pointl.y, 300);
  }
  // 1600000000 seconds after 1970 is 132,444,736,000,000,000 in 100-ns steps after 1601.
  const ULONGLONG written = (ULONGLONG{descriptors->fgd[1].ftLastWriteTime.dwHighDateTime} << 32) |
                            descriptors->fgd[1].ftLastWriteTime.dwLowDateTime;
  EXPECT_EQ(written, 132444736000000000ull);
  std::string wideGroup = Get(object, ids.fileGroupDescriptorW);
  ASSERT_EQ(wideGroup.size(), 4u + 9 * 592);
  EXPECT_STREQ(reinterpret_cast<const FILEGROUPDESCRIPTORW*>(wideGroup.data())->fgd[3].cFileName,
               L"A\\SUB\\TWO.TXT");

  EXPECT_EQ(Get(object, ids.fileContents, 3), "two");
  EXPECT_EQ(Get(object, ids.fileContents, 7), "third one");
  HRESULT result = S_OK;
  Get(object, ids.fileContents, 8, &result);
  EXPECT_EQ(result, E_UNEXPECTED) << "the damaged member has no contents";
  Get(object, ids.fileContents, 2, &result);
  EXPECT_EQ(result, E_UNEXPECTED) << "a folder has no contents";
  Get(object, ids.fileContents, 9, &result);
  EXPECT_EQ(result, DV_E_LINDEX);
  Get(object, ids.fileContents, -1, &result);
  EXPECT_EQ(result, E_UNEXPECTED) << "all of them include the damaged one";
  Get(object, ids.fileContents, 10, &result);
  EXPECT_EQ(result, DV_E_LINDEX);

  // The copies: the top-level folders in the object's own folder, the tree below them; "D\ONE.TXT"
  // replaced by another handle since the object was made gets no copy (nor its old bytes).
  ReplaceMember(7, "fourth one");
  const std::vector<std::string> dropped = DropFiles(Get(object, CF_HDROP));
  const std::string folder = data->TemporaryFolder();
  const std::vector<std::string> copies = {folder + "A", folder + "B", folder + "D"};
  EXPECT_EQ(dropped, copies);
  made_.push_back(data->TemporaryFolder());
  EXPECT_EQ(folder.rfind(TempDirectory, 0), 0u) << folder;
  EXPECT_EQ(ReadText(folder + "A\\ONE.TXT"), "one");
  EXPECT_EQ(ReadText(folder + "A\\SUB\\TWO.TXT"), "two");
  EXPECT_EQ(ReadText(folder + "B\\ONE.TXT"), "other one");
  EXPECT_FALSE(Exists(folder + "D\\ONE.TXT"));
  EXPECT_FALSE(Exists(folder + "BAD.TXT"));
  EXPECT_EQ(Get(object, ids.fileNameMap), std::string("A\0B\0D\0\0", 7));
  std::string wideMap = Get(object, ids.fileNameMapW);
  EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(wideMap.data()) + 2), L"B");

  // The CIDA: parent = the object's folder, children = the top-level copies.
  std::string cida = Get(object, ids.shellIdListArray);
  const auto* array = reinterpret_cast<const CIDA*>(cida.data());
  ASSERT_EQ(array->cidl, 3u);
  EXPECT_EQ(array->aoffset[0], 20u);
  auto parent = reinterpret_cast<LPCITEMIDLIST>(cida.data() + array->aoffset[0]);
  for (UINT i = 0; i < 3; ++i) {
    LPITEMIDLIST full =
        ILCombine(parent, reinterpret_cast<LPCITEMIDLIST>(cida.data() + array->aoffset[i + 1]));
    char path[MAX_PATH] = "";
    EXPECT_TRUE(SHGetPathFromIDListA(full, path));
    EXPECT_EQ(lstrcmpiA(path, copies[i].c_str()), 0) << path;
    ILFree(full);
  }

  // Media and questions.
  FORMATETC stream = Format(CF_HDROP, -1, TYMED_ISTREAM);
  STGMEDIUM medium = {};
  ASSERT_EQ(object->GetData(&stream, &medium), S_OK);
  EXPECT_EQ(medium.tymed, static_cast<DWORD>(TYMED_ISTREAM));
  ReleaseStgMedium(&medium);
  FORMATETC file = Format(CF_HDROP, -1, TYMED_FILE);
  EXPECT_EQ(object->GetData(&file, &medium), DV_E_TYMED);
  FORMATETC unknown = Format(CF_BITMAP);
  EXPECT_EQ(object->GetData(&unknown, &medium), DV_E_FORMATETC);
  EXPECT_EQ(object->QueryGetData(&unknown), S_FALSE);
  FORMATETC hdrop = Format(CF_HDROP);
  EXPECT_EQ(object->QueryGetData(&hdrop), S_OK);
  EXPECT_EQ(object->Release(), 0u);
}

// One file on the clipboard: five formats (no IDList array outside a drag), and another
// application reads the copy through OleGetClipboard.
TEST_P(DataObjectTest, OneFileOnTheClipboardAsAnotherApplicationReadsIt) {
  const ClipboardFormatIds& ids = ClipboardFormats;
  IDataObject* object = Make({"BAD.TXT", "C"}, ArchiveDataObject::ClipboardMode);
  ASSERT_NE(object, nullptr);
  // The member named with a colon is left out of everything; the damaged one is described but
  // gets no copy, so the drop list holds the folder "C" alone.
  std::string group = Get(object, ids.fileGroupDescriptor);
  ASSERT_EQ(group.size(), 4u + 2 * 332);
  EXPECT_STREQ(reinterpret_cast<const FILEGROUPDESCRIPTORA*>(group.data())->fgd[1].cFileName, "C");
  auto* data = static_cast<ArchiveDataObject*>(object);
  const std::vector<std::string> dropped = DropFiles(Get(object, CF_HDROP));
  EXPECT_EQ(dropped, std::vector<std::string>{data->TemporaryFolder() + "C"});
  made_.push_back(data->TemporaryFolder());
  object->Release();

  // Only empty members: "FileContents" for all of them is an empty block, and their copies are
  // empty files (a decoded empty block has no memory to lock on Windows).
  object = Make({"EMPTY.TXT", "E0"}, ArchiveDataObject::ClipboardMode);
  HRESULT result = E_FAIL;
  std::string all = Get(object, ids.fileContents, -1, &result);
  EXPECT_EQ(result, S_OK);
  EXPECT_EQ(all, "");
  data = static_cast<ArchiveDataObject*>(object);
  EXPECT_EQ(DropFiles(Get(object, CF_HDROP)).size(), 2u);
  made_.push_back(data->TemporaryFolder());
  EXPECT_TRUE(Exists(data->TemporaryFolder() + "E0"));
  EXPECT_EQ(ReadText(data->TemporaryFolder() + "EMPTY.TXT"), "");
  object->Release();

  object = Make({"AB"}, ArchiveDataObject::ClipboardMode);
  EXPECT_EQ(Offered(object), (std::vector<UINT>{ids.fileContents, ids.fileGroupDescriptor,
                                                ids.fileNameMap, CF_HDROP, ids.fileName}));
  FORMATETC idList = Format(ids.shellIdListArray);
  EXPECT_EQ(object->QueryGetData(&idList), S_FALSE);
  const std::string name = Get(object, ids.fileName);
  data = static_cast<ArchiveDataObject*>(object);
  made_.push_back(data->TemporaryFolder());
  char shortName[MAX_PATH] = "";
  GetShortPathNameA((data->TemporaryFolder() + "AB\\X.TXT").c_str(), shortName, sizeof shortName);
  EXPECT_STREQ(name.c_str(), shortName);
  ASSERT_EQ(OleSetClipboard(object), S_OK);
  object->Release();
  // While the copy is on the clipboard the archive can still be renamed (and back).
  root_->Release();
  root_ = nullptr;
  const std::string renamed = path_ + ".OLD";
  EXPECT_TRUE(MoveFileA(path_.c_str(), renamed.c_str()));
  EXPECT_TRUE(MoveFileA(renamed.c_str(), path_.c_str()));
  IDataObject* pasted = nullptr;
  ASSERT_EQ(OleGetClipboard(&pasted), S_OK);
  std::vector<std::string> files = DropFiles(Get(pasted, CF_HDROP));
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(ReadText(files[0] + "\\X.TXT"), "sibling");
  pasted->Release();
  EXPECT_EQ(OleSetClipboard(nullptr), S_OK);
}

INSTANTIATE_TEST_SUITE_P(Threads, DataObjectTest, testing::Values(0u, 1u, 3u));

}  // namespace
