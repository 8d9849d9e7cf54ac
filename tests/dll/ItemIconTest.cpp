// Item icons: the standard indexes GetIconOf answers from the identifier alone, the icon object's
// locations, and icon members shown with their own picture through a temporary file that never
// stays behind.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "RegistryFixture.h"
#include "ViewTestSupport.h"
#include "archive/Archive.h"
#include "namespace/IconFromMemberImage.h"
#include "namespace/IconIndex.h"
#include "namespace/ItemIcon.h"
#include "namespace/ModuleState.h"
#include "support/LzhBuilder.h"
#include "support/TempFolder.h"
#include "support/TestFiles.h"

namespace {

using namespace testsupport;

class ItemIconTest : public RegistryFixture {
 protected:
  static HRESULT IndexOf(const ItemId& item, UINT flags, int* index) {
    *index = -7;
    return ItemIconIndex(AsList(item), flags, index);
  }
};

TEST_F(ItemIconTest, FoldersGetTheClosedOrOpenFolderIndex) {
  int index;
  ItemId folder = MakeItem("DIR\\SUB", 0x10, 0, 0, 0, "-lhd-");
  ASSERT_EQ(IndexOf(folder, 0, &index), S_OK);
  EXPECT_EQ(index, 3);
  ASSERT_EQ(IndexOf(folder, GIL_OPENICON, &index), S_OK);
  EXPECT_EQ(index, 4);
}

TEST_F(ItemIconTest, CommandFilesAreApplicationsWhateverTheSetting) {
  for (const char* value : {"0", "1"}) {
    SetString("DecodeImage", value);
    for (const char* name : {"RUN.BAT", "X.COM", "Y.CMD", "dir\\z.bat"}) {
      int index;
      ASSERT_EQ(IndexOf(MakeItem(name, 0x20, 10), 0, &index), S_OK) << name;
      EXPECT_EQ(index, 2) << name;
    }
  }
}

TEST_F(ItemIconTest, DecodeImageSendsSmallFilesToTheIconObject) {
  int index;
  SetString("DecodeImage", "0");
  ASSERT_EQ(IndexOf(MakeItem("SETUP.EXE", 0x20, 1000), 0, &index), S_OK);
  EXPECT_EQ(index, 2);
  ASSERT_EQ(IndexOf(MakeItem("README.TXT", 0x20, 1000), 0, &index), S_OK);
  EXPECT_EQ(index, 1);
  ASSERT_EQ(IndexOf(MakeItem("README", 0x20, 1000), 0, &index), S_OK);
  EXPECT_EQ(index, 1);

  SetString("DecodeImage", "1");
  EXPECT_EQ(IndexOf(MakeItem("SETUP.EXE", 0x20, 1048576), 0, &index), S_FALSE);
  EXPECT_EQ(index, -7);  // left unset
  ASSERT_EQ(IndexOf(MakeItem("SETUP.EXE", 0x20, 1048577), 0, &index), S_OK);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(IndexOf(MakeItem("README.TXT", 0x20, 1048576), 0, &index), S_FALSE);
  ASSERT_EQ(IndexOf(MakeItem("README.TXT", 0x20, 1048577), 0, &index), S_OK);
  EXPECT_EQ(index, 1);

  std::uint8_t foreign[20] = {18, 0};
  EXPECT_EQ(ItemIconIndex(reinterpret_cast<LPCITEMIDLIST>(foreign), 0, &index), E_INVALIDARG);
}

struct Location {
  HRESULT result;
  std::string text;
  int index;
  UINT flags;
};

Location LocationOf(const ItemId& item, UINT flags) {
  IExtractIconA* icon = nullptr;
  Location where = {E_FAIL, "", -1, 0};
  if (FAILED(CreateItemIcon(AsList(item), nullptr, IID_IExtractIconA,
                            reinterpret_cast<void**>(&icon))))
    return where;
  char text[MAX_PATH] = "";
  where.result = icon->GetIconLocation(flags, text, sizeof text, &where.index, &where.flags);
  where.text = text;
  icon->Release();
  return where;
}

TEST_F(ItemIconTest, IconLocationsOfFoldersAndFiles) {
  char module[MAX_PATH];
  GetModuleFileNameA(ModuleInstance, module, sizeof module);
  ItemId folder = MakeItem("DIR", 0x10);
  Location closed = LocationOf(folder, 0);
  EXPECT_EQ(closed.result, S_OK);
  EXPECT_EQ(closed.text, module);
  EXPECT_EQ(closed.index, -101);
  EXPECT_EQ(closed.flags, static_cast<UINT>(GIL_PERINSTANCE));
  EXPECT_EQ(LocationOf(folder, GIL_OPENICON).index, -102);

  Location text = LocationOf(MakeItem("DIR\\read.me.txt"), GIL_OPENICON);
  EXPECT_EQ(text.text, "READ.ME.TXT");
  EXPECT_EQ(text.index, 1);
  EXPECT_EQ(text.flags, static_cast<UINT>(GIL_PERCLASS | GIL_NOTFILENAME));
  for (const char* name : {"A.ICO", "b.ico", "x\\C.Ico"}) {
    Location icon = LocationOf(MakeItem(name), 0);
    EXPECT_EQ(icon.index, 0) << name;
    EXPECT_EQ(icon.flags, static_cast<UINT>(GIL_PERINSTANCE | GIL_NOTFILENAME)) << name;
  }
  // A dot in a folder's name does not make an icon file.
  EXPECT_EQ(LocationOf(MakeItem("PIC.ICO\\DATA"), 0).flags,
            static_cast<UINT>(GIL_PERCLASS | GIL_NOTFILENAME));
  EXPECT_EQ(LocationOf(MakeItem("ICO"), 0).flags,
            static_cast<UINT>(GIL_PERCLASS | GIL_NOTFILENAME));

  // The wide interface gives the same location.
  IExtractIconW* wide = nullptr;
  ASSERT_EQ(CreateItemIcon(AsList(MakeItem("DIR\\read.me.txt")), nullptr, IID_IExtractIconW,
                           reinterpret_cast<void**>(&wide)),
            S_OK);
  wchar_t location[MAX_PATH] = L"";
  int index = -1;
  UINT flags = 0;
  ASSERT_EQ(wide->GetIconLocation(0, location, MAX_PATH, &index, &flags), S_OK);
  EXPECT_STREQ(location, L"READ.ME.TXT");
  EXPECT_EQ(flags, static_cast<UINT>(GIL_PERCLASS | GIL_NOTFILENAME));
  wide->Release();
}

TEST_F(ItemIconTest, FileTypeIconsComeFromTheShell) {
  IExtractIconA* icon = nullptr;
  ASSERT_EQ(CreateItemIcon(AsList(MakeItem("README.TXT")), nullptr, IID_IExtractIconA,
                           reinterpret_cast<void**>(&icon)),
            S_OK);
  HICON large = nullptr, small = nullptr;
  ASSERT_EQ(icon->Extract("README.TXT", 0, &large, &small, MAKELONG(32, 16)), S_OK);
  EXPECT_NE(large, nullptr);
  if (large) DestroyIcon(large);
  if (small) DestroyIcon(small);
  icon->Release();
}

// Width of an icon's picture and whether its top-left pixel is black and its top-right white.
struct Picture {
  int width = 0;
  bool leftBlack = false;
  bool rightWhite = false;
};

Picture Inspect(HICON icon) {
  Picture picture;
  ICONINFO info = {};
  if (!icon || !GetIconInfo(icon, &info)) return picture;
  BITMAP bitmap = {};
  GetObjectA(info.hbmMask, sizeof bitmap, &bitmap);
  picture.width = bitmap.bmWidth;
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  // Drawn over grey: opaque pixels show the picture's own colours.
  const int side = picture.width;
  HDC memory = CreateCompatibleDC(nullptr);
  BITMAPINFO format = {};
  format.bmiHeader.biSize = sizeof format.bmiHeader;
  format.bmiHeader.biWidth = side;
  format.bmiHeader.biHeight = side;
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP canvas = CreateDIBSection(memory, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, canvas);
  RECT all = {0, 0, side, side};
  HBRUSH grey = CreateSolidBrush(RGB(128, 128, 128));
  FillRect(memory, &all, grey);
  DeleteObject(grey);
  DrawIconEx(memory, 0, 0, icon, side, side, 0, nullptr, DI_NORMAL);
  COLORREF left = GetPixel(memory, 1, 1);
  COLORREF right = GetPixel(memory, side - 2, 1);
  SelectObject(memory, old);
  DeleteObject(canvas);
  DeleteDC(memory);
  picture.leftBlack = (left & 0xFFFFFF) == 0;
  picture.rightWhite = (right & 0xFFFFFF) == 0xFFFFFF;
  return picture;
}

// The icons the library names: the archive file's own, which the installer registers as
// "tanufold.dll,-100", and the folder icons its folder items point at. Each must come out of the
// module both ways a shell takes: from the location alone (as Wine's view does) and through the
// item's Extract (as the shell on Windows does).
struct NamedIcon {
  int resource;
  UINT flags;        // GetIconLocation flags of a folder item that names it; none for 100
  bool folderItem;   // whether a folder item hands it out
};
const NamedIcon NamedIcons[] = {{100, 0, false}, {101, 0, true}, {102, GIL_OPENICON, true}};

TEST_F(ItemIconTest, EveryIconTheLibraryNamesComesOutOfTheModule) {
  char module[MAX_PATH];
  GetModuleFileNameA(ModuleInstance, module, sizeof module);
  for (const NamedIcon& named : NamedIcons) {
    HICON large = nullptr, small = nullptr;
    ASSERT_GT(ExtractIconExA(module, -named.resource, &large, &small, 1), 0u) << named.resource;
    EXPECT_EQ(Inspect(large).width, GetSystemMetrics(SM_CXICON)) << named.resource;
    EXPECT_EQ(Inspect(small).width, GetSystemMetrics(SM_CXSMICON)) << named.resource;
    DestroyIcon(large);
    DestroyIcon(small);
    if (!named.folderItem) continue;

    IExtractIconA* icon = nullptr;
    ASSERT_EQ(CreateItemIcon(AsList(MakeItem("DIR\SUB", 0x10, 0, 0, 0, "-lhd-")), nullptr,
                             IID_IExtractIconA, reinterpret_cast<void**>(&icon)),
              S_OK);
    char location[MAX_PATH] = "";
    int index = 0;
    UINT flags = 0;
    ASSERT_EQ(icon->GetIconLocation(named.flags, location, sizeof location, &index, &flags), S_OK);
    EXPECT_STREQ(location, module);
    EXPECT_EQ(index, -named.resource);
    large = small = nullptr;
    ASSERT_EQ(icon->Extract(location, index, &large, &small, MAKELONG(32, 16)), S_OK);
    EXPECT_EQ(Inspect(large).width, 32) << named.resource;
    EXPECT_EQ(Inspect(small).width, 16) << named.resource;
    if (large) DestroyIcon(large);
    if (small) DestroyIcon(small);
    icon->Release();
  }
}

class MemberImageTest : public ItemIconTest {
 protected:
  void SetUp() override {
    ItemIconTest::SetUp();
    // The library's temporary files go to the test's own folder meanwhile.
    std::memcpy(savedTempDirectory_, TempDirectory, MAX_PATH);
    std::snprintf(TempDirectory, MAX_PATH, "%s\\", temp_.path().c_str());
    archivePath_ = temp_ / "SAMPLE.LZH";
    ASSERT_TRUE(WriteArchive(archivePath_, {StoredMember("PICS\\A.ICO", SampleIconFile()),
                                            StoredMember("con.ico", SampleIconFile()),
                                            StoredMember("BROKEN.ICO", {})}));
    archive_ = new Archive();
    archive_->Retain();
    ASSERT_EQ(archive_->OpenFile(archivePath_.c_str()), ResultOk);
  }
  void TearDown() override {
    if (archive_) archive_->Release();
    std::memcpy(TempDirectory, savedTempDirectory_, MAX_PATH);
    ItemIconTest::TearDown();
  }

  // Extracts the icon of `path` through the object, as the shell does after GetIconOf said
  // S_FALSE; the icons are inspected and destroyed.
  HRESULT ExtractMember(const char* path, Picture* large, Picture* small) {
    IExtractIconA* icon = nullptr;
    HRESULT made = CreateItemIcon(AsList(MakeItem(path, 0x20, 326)), archive_,
                                  IID_IExtractIconA, reinterpret_cast<void**>(&icon));
    if (FAILED(made)) return made;
    char location[MAX_PATH];
    int index;
    UINT flags;
    icon->GetIconLocation(0, location, sizeof location, &index, &flags);
    HICON largeIcon = nullptr, smallIcon = nullptr;
    HRESULT result = icon->Extract(location, index, &largeIcon, &smallIcon, MAKELONG(32, 16));
    *large = Inspect(largeIcon);
    *small = Inspect(smallIcon);
    if (largeIcon) DestroyIcon(largeIcon);
    if (smallIcon) DestroyIcon(smallIcon);
    icon->Release();
    return result;
  }

  // Files in the temporary folder besides the archive.
  std::vector<std::string> Leftovers() const {
    std::vector<std::string> files;
    for (const std::string& name : ListFolder(temp_.path()))
      if (name != "SAMPLE.LZH" && name != "A.ICO") files.push_back(name);
    return files;
  }

  TempFolder temp_;
  char savedTempDirectory_[MAX_PATH];
  std::string archivePath_;
  Archive* archive_ = nullptr;
};

TEST_F(MemberImageTest, AnIconMemberShowsItsOwnPictureAndLeavesNoFile) {
  Picture large, small;
  ASSERT_EQ(ExtractMember("PICS\\A.ICO", &large, &small), S_OK);
  EXPECT_GT(large.width, 0);
  EXPECT_TRUE(large.leftBlack);
  EXPECT_TRUE(large.rightWhite);
  EXPECT_GT(small.width, 0);
  EXPECT_EQ(ListFolder(temp_.path()), std::vector<std::string>{"SAMPLE.LZH"});
}

TEST_F(MemberImageTest, ATakenNameGetsACounterAndTheExistingFileIsKept) {
  std::string taken = temp_ / "A.ICO";
  ASSERT_TRUE(WriteBytes(taken, TextBytes("keep")));
  // 000A.ICO is taken too, so the picture goes to 001A.ICO.
  std::string second = temp_ / "000A.ICO";
  ASSERT_TRUE(CopyFileA(taken.c_str(), second.c_str(), TRUE));

  Picture large, small;
  ASSERT_EQ(ExtractMember("PICS\\A.ICO", &large, &small), S_OK);
  EXPECT_TRUE(large.leftBlack);
  EXPECT_TRUE(large.rightWhite);
  std::vector<std::string> left = Leftovers();
  EXPECT_EQ(left, std::vector<std::string>{"000A.ICO"});
  WIN32_FILE_ATTRIBUTE_DATA kept;
  ASSERT_TRUE(GetFileAttributesExA(taken.c_str(), GetFileExInfoStandard, &kept));
  EXPECT_EQ(kept.nFileSizeLow, 4u);
}

TEST_F(MemberImageTest, DeviceNamesAndMissingOrEmptyMembersAreHandled) {
  Picture large, small;
  // "con.ico" would open the console; the picture goes through a safe name instead.
  ASSERT_EQ(ExtractMember("con.ico", &large, &small), S_OK);
  EXPECT_TRUE(large.leftBlack);
  EXPECT_EQ(ExtractMember("NOT\\THERE.ICO", &large, &small), E_UNEXPECTED);
  EXPECT_EQ(large.width, 0);
  EXPECT_TRUE(Leftovers().empty());
  // An empty member is written as an empty file, which holds no icon: no picture, no file left.
  ExtractMember("BROKEN.ICO", &large, &small);
  EXPECT_EQ(large.width, 0);
  EXPECT_TRUE(Leftovers().empty());
}

TEST_F(MemberImageTest, TheSearchForAFreeNameEnds) {
  char saved[MAX_PATH];
  std::memcpy(saved, TempDirectory, MAX_PATH);
  // No file at all can be created in a folder that does not exist.
  std::snprintf(TempDirectory, MAX_PATH, "%s\\MISSING\\", temp_.path().c_str());
  Picture large, small;
  EXPECT_EQ(ExtractMember("PICS\\A.ICO", &large, &small), E_UNEXPECTED);
  std::memcpy(TempDirectory, saved, MAX_PATH);
  EXPECT_TRUE(Leftovers().empty());
}

TEST(TemporaryImageNameTest, OnlyPlainNamesAreUsed) {
  char name[MAX_PATH];
  TemporaryImageName("DIR\\A.ICO", name, sizeof name);
  EXPECT_STREQ(name, "A.ICO");
  TemporaryImageName("DIR\\\x95\x5C.ICO", name, sizeof name);  // a double-byte character
  EXPECT_STREQ(name, "\x95\x5C.ICO");
  for (const char* hostile : {"CON.ICO", "lpt1.ico", "a:b.ico", "..", "x/../y.ico", "a*.ico",
                              "DIR\\", "NUL"}) {
    TemporaryImageName(hostile, name, sizeof name);
    EXPECT_STREQ(name, "MEMBER.ICO") << hostile;
  }
  TemporaryImageName("COM.ICO", name, sizeof name);
  EXPECT_STREQ(name, "COM.ICO");
}

}  // namespace
