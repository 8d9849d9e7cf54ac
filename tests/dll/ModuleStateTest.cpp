// The process-wide state as the load steps leave it, and the unload steps' deletion of the
// library's temporary files.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "namespace/ModuleState.h"
#include "support/TempFolder.h"
#include "support/TestFiles.h"

namespace {

TEST(ModuleState, LoadStepsFillThePlatformState) {
  EXPECT_EQ(IsWindowsNT, 1);  // Wine reports Windows NT
  EXPECT_EQ(IsWindows95, 0);
  EXPECT_NE(ShGetFileInfoW, nullptr);
  ASSERT_NE(TaskAllocator, nullptr);
  void* block = TaskAllocator->Alloc(16);
  EXPECT_NE(block, nullptr);
  TaskAllocator->Free(block);
  size_t length = std::strlen(TempDirectory);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(TempDirectory[length - 1], '\\');
  // The folder type name is HKCR\Directory's default value as the registry holds it ("" when
  // there is none, as in the test prefix).
  char registered[sizeof FolderTypeName] = "";
  LONG size = sizeof registered;
  if (RegQueryValueA(HKEY_CLASSES_ROOT, "Directory", registered, &size) != ERROR_SUCCESS)
    registered[0] = '\0';
  EXPECT_STREQ(FolderTypeName, registered);
}

TEST(ModuleState, RegistersTheTenClipboardFormats) {
  const UINT* ids = reinterpret_cast<const UINT*>(&ClipboardFormats);
  const char* names[] = {"FileName",     "FileNameW",          "FileNameMap",
                         "FileNameMapW", "FileGroupDescriptor", "FileGroupDescriptorW",
                         "FileContents", "Shell IDList Array", "Shell Object Offsets",
                         "Preferred DropEffect"};
  static_assert(sizeof(ClipboardFormats) == 10 * sizeof(UINT), "ten formats");
  for (int i = 0; i < 10; ++i) {
    EXPECT_NE(ids[i], 0u) << names[i];
    EXPECT_EQ(ids[i], RegisterClipboardFormatA(names[i])) << names[i];
  }
}

std::string MakeFile(const testsupport::TempFolder& folder, const char* name, DWORD attributes) {
  std::string path = folder / name;
  EXPECT_TRUE(testsupport::WriteBytes(path, testsupport::TextBytes("data"))) << path;
  SetFileAttributesA(path.c_str(), attributes);
  return path;
}

TEST(ModuleState, UnloadDeletesTempFilesEvenReadOnlyOnes) {
  testsupport::TempFolder folder;
  std::string plain = MakeFile(folder, "plain.txt", FILE_ATTRIBUTE_NORMAL);
  std::string readOnly = MakeFile(folder, "locked.txt", FILE_ATTRIBUTE_READONLY);
  std::string hidden = MakeFile(folder, "hidden.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  std::string kept = MakeFile(folder, "kept.txt", FILE_ATTRIBUTE_NORMAL);
  std::string missing = folder / "gone.txt";

  int before = TempFileCount();
  ASSERT_TRUE(AddTempFile(plain.c_str()));
  ASSERT_TRUE(AddTempFile(missing.c_str()));  // already gone: skipped silently
  ASSERT_TRUE(AddTempFile(readOnly.c_str()));
  ASSERT_TRUE(AddTempFile(hidden.c_str()));
  EXPECT_EQ(TempFileCount(), before + 4);

  UnloadModuleState();
  EXPECT_EQ(GetFileAttributesA(plain.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA(readOnly.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA(hidden.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesA(kept.c_str()), INVALID_FILE_ATTRIBUTES) << "not ours to delete";

  LoadModuleState(GetModuleHandleA(nullptr));
  EXPECT_EQ(TempFileCount(), 0);
}

// The folder type name comes from HKCR\Directory; a value that does not fit the 80-byte buffer
// leaves it empty rather than holding a cut or unterminated text.
class FolderTypeNameTest : public testing::Test {
 protected:
  static constexpr const char* Key = "SOFTWARE\\Classes\\Directory";
  void SetUp() override {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, Key, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    DWORD size = sizeof saved_;
    hadValue_ = RegQueryValueExA(key, nullptr, nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(saved_), &size) == ERROR_SUCCESS;
    RegCloseKey(key);
  }
  void TearDown() override {
    if (hadValue_) SetName(saved_);
    Reload();
  }
  static void SetName(const char* text) {
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, Key, 0, KEY_WRITE, &key), ERROR_SUCCESS);
    RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>(std::strlen(text) + 1));
    RegCloseKey(key);
  }
  static void Reload() {
    UnloadModuleState();
    LoadModuleState(GetModuleHandleA(nullptr));
  }
  char saved_[512] = "";
  bool hadValue_ = false;
};

TEST_F(FolderTypeNameTest, FitsOrStaysEmpty) {
  std::string longest(79, 'F');
  SetName(longest.c_str());
  Reload();
  EXPECT_EQ(std::string(FolderTypeName), longest);
  std::string tooLong(120, 'F');
  SetName(tooLong.c_str());
  Reload();
  EXPECT_STREQ(FolderTypeName, "");
}

}  // namespace
