// The data object that carries members out of an archive: every format's bytes, in both modes,
// and a round trip through the clipboard as another application reads it.
#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dll/FolderTestSupport.h"
#include "namespace/ArchiveFolder.h"
#include "operations/ArchiveDataObject.h"

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

class DataObjectTest : public testing::Test {
 protected:
  void SetUp() override {
    OleInitialize(nullptr);
    path_ = dir_ / "T.LZH";
    RawMember bad = File("BAD.TXT", "damaged");
    bad.crc = 0x1234;
    RawMember colon = File("C\\a:b", "colon");
    ASSERT_TRUE(WriteArchive(path_, {File("A\\ONE.TXT", "one", 1600000000), File("A\\SUB\\TWO.TXT", "two"),
                                     File("AB\\X.TXT", "sibling"), File("B\\ONE.TXT", "other one"),
                                     bad, colon, StoredMember("EMPTY.TXT", Bytes{})}));
    list_ = ShellIdListOf(path_);
    void* out = nullptr;
    ASSERT_EQ(ArchiveFolder::Create(IID_IShellFolder, &out), S_OK);
    root_ = static_cast<ArchiveFolder*>(static_cast<IShellFolder*>(out));
    ASSERT_EQ(root_->Initialize(list_), S_OK);
  }
  void TearDown() override {
    for (const std::string& path : made_) {
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(path.c_str());
    }
    root_->Release();
    CoTaskMemFree(list_);
    EXPECT_EQ(ObjectCount(), 0) << "objects left alive";
  }

  HeldItem Item(const std::string& path) { return ListedItem(root_, path); }

  IDataObject* Make(const std::vector<std::string>& paths, DWORD mode) {
    std::vector<HeldItem> held;
    for (const auto& path : paths) held.push_back(Item(path));
    std::vector<LPCITEMIDLIST> lists;
    for (const auto& item : held) lists.push_back(item.list());
    void* out = nullptr;
    if (mode == ArchiveDataObject::DragMode) {
      EXPECT_EQ(root_->GetUIObjectOf(nullptr, static_cast<UINT>(lists.size()), lists.data(),
                                     IID_IDataObject, nullptr, &out),
                S_OK);
    } else {
      EXPECT_EQ(ArchiveDataObject::Create(root_, static_cast<UINT>(lists.size()), lists.data(), mode,
                                          IID_IDataObject, &out),
                S_OK);
    }
    auto* object = static_cast<IDataObject*>(out);
    for (const auto& path : static_cast<ArchiveDataObject*>(object)->TemporaryPaths())
      made_.push_back(path);
    return object;
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

// Folders "A" and "B" and a damaged member: the folders stand for their files (not the sibling
// "AB"), the damaged member is left out of every format, the second "ONE.TXT" gets "000".
TEST_F(DataObjectTest, EveryFormatDescribesTheSameDecodedCopiesInDragMode) {
  const ClipboardFormatIds& ids = ClipboardFormats;
  IDataObject* object = Make({"A", "B", "BAD.TXT"}, ArchiveDataObject::DragMode);
  ASSERT_NE(object, nullptr);
  const std::string temp = TempDirectory;
  const std::vector<std::string> copies = {temp + "ONE.TXT", temp + "TWO.TXT", temp + "000ONE.TXT"};
  EXPECT_EQ(static_cast<ArchiveDataObject*>(object)->TemporaryPaths(), copies);
  EXPECT_EQ(ReadText(copies[2]), "other one");

  EXPECT_EQ(Offered(object), (std::vector<UINT>{ids.fileContents, ids.fileGroupDescriptor,
                                                ids.fileNameMap, CF_HDROP, ids.shellIdListArray}));
  EXPECT_EQ(DropFiles(Get(object, CF_HDROP)), copies);
  EXPECT_EQ(Get(object, ids.fileNameMap), std::string("A\\ONE.TXT\0A\\SUB\\TWO.TXT\0B\\ONE.TXT\0\0", 35));
  std::string wideMap = Get(object, ids.fileNameMapW);
  EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(wideMap.data())), L"A\\ONE.TXT");

  std::string group = Get(object, ids.fileGroupDescriptor);
  ASSERT_EQ(group.size(), 4u + 3 * 332);
  const auto* descriptors = reinterpret_cast<const FILEGROUPDESCRIPTORA*>(group.data());
  ASSERT_EQ(descriptors->cItems, 3u);
  const char* names[] = {"ONE.TXT", "TWO.TXT", "ONE.TXT"};
  const DWORD sizes[] = {3, 3, 9};
  for (int i = 0; i < 3; ++i) {
    const FILEDESCRIPTORA& d = descriptors->fgd[i];
    EXPECT_EQ(d.dwFlags, 0x7Eu);
    EXPECT_STREQ(d.cFileName, names[i]);
    EXPECT_EQ(d.nFileSizeLow, sizes[i]);
    EXPECT_EQ(d.pointl.x, 46);
    EXPECT_EQ(d.pointl.y, 300);
  }
  // 1600000000 seconds after 1970 is 132,444,736,000,000,000 in 100-ns steps after 1601.
  const ULONGLONG written = (ULONGLONG{descriptors->fgd[0].ftLastWriteTime.dwHighDateTime} << 32) |
                            descriptors->fgd[0].ftLastWriteTime.dwLowDateTime;
  EXPECT_EQ(written, 132444736000000000ull);
  std::string wideGroup = Get(object, ids.fileGroupDescriptorW);
  ASSERT_EQ(wideGroup.size(), 4u + 3 * 592);
  EXPECT_STREQ(reinterpret_cast<const FILEGROUPDESCRIPTORW*>(wideGroup.data())->fgd[1].cFileName,
               L"TWO.TXT");

  EXPECT_EQ(Get(object, ids.fileContents, 1), "two");
  EXPECT_EQ(Get(object, ids.fileContents, -1), "onetwoother one");
  HRESULT result = S_OK;
  Get(object, ids.fileContents, 3, &result);
  EXPECT_EQ(result, DV_E_LINDEX);

  // The CIDA: parent = the temporary folder, children = the copies.
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
TEST_F(DataObjectTest, OneFileOnTheClipboardAsAnotherApplicationReadsIt) {
  const ClipboardFormatIds& ids = ClipboardFormats;
  IDataObject* object = Make({"BAD.TXT", "C"}, ArchiveDataObject::ClipboardMode);
  ASSERT_NE(object, nullptr);
  EXPECT_TRUE(static_cast<ArchiveDataObject*>(object)->TemporaryPaths().empty())
      << "a damaged member and a name with a colon get no copy";
  EXPECT_TRUE(Offered(object).empty());
  FORMATETC hdrop = Format(CF_HDROP);
  EXPECT_EQ(object->QueryGetData(&hdrop), S_FALSE);
  object->Release();

  // An empty member gets an empty copy (its decoded block has no memory to lock on Windows).
  object = Make({"EMPTY.TXT"}, ArchiveDataObject::ClipboardMode);
  ASSERT_EQ(static_cast<ArchiveDataObject*>(object)->TemporaryPaths().size(), 1u);
  EXPECT_EQ(ReadText(static_cast<ArchiveDataObject*>(object)->TemporaryPaths()[0]), "");
  object->Release();

  object = Make({"AB"}, ArchiveDataObject::ClipboardMode);
  EXPECT_EQ(Offered(object), (std::vector<UINT>{ids.fileContents, ids.fileGroupDescriptor,
                                                ids.fileNameMap, CF_HDROP, ids.fileName}));
  FORMATETC idList = Format(ids.shellIdListArray);
  EXPECT_EQ(object->QueryGetData(&idList), S_FALSE);
  char shortName[MAX_PATH] = "";
  GetShortPathNameA((std::string(TempDirectory) + "X.TXT").c_str(), shortName, sizeof shortName);
  EXPECT_STREQ(Get(object, ids.fileName).c_str(), shortName);
  ASSERT_EQ(OleSetClipboard(object), S_OK);
  object->Release();
  IDataObject* pasted = nullptr;
  ASSERT_EQ(OleGetClipboard(&pasted), S_OK);
  std::vector<std::string> files = DropFiles(Get(pasted, CF_HDROP));
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(ReadText(files[0]), "sibling");
  pasted->Release();
  EXPECT_EQ(OleSetClipboard(nullptr), S_OK);
}

}  // namespace
