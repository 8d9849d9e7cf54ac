// The process-wide state as the load steps leave it, and the unload steps' deletion of the
// library's temporary files.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "namespace/ModuleState.h"

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
  EXPECT_LT(std::strlen(FolderTypeName), sizeof FolderTypeName);
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

std::string MakeFile(const std::string& folder, const char* name, DWORD attributes) {
  std::string path = folder + name;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE) << path;
  DWORD written = 0;
  WriteFile(file, "data", 4, &written, nullptr);
  CloseHandle(file);
  SetFileAttributesA(path.c_str(), attributes);
  return path;
}

TEST(ModuleState, UnloadDeletesTempFilesEvenReadOnlyOnes) {
  char base[MAX_PATH];
  ASSERT_GT(GetTempPathA(MAX_PATH, base), 0u);
  std::string folder = std::string(base) + "tanufold-tempfiles\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  std::string plain = MakeFile(folder, "plain.txt", FILE_ATTRIBUTE_NORMAL);
  std::string readOnly = MakeFile(folder, "locked.txt", FILE_ATTRIBUTE_READONLY);
  std::string hidden = MakeFile(folder, "hidden.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  std::string kept = MakeFile(folder, "kept.txt", FILE_ATTRIBUTE_NORMAL);
  std::string missing = folder + "gone.txt";

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
  DeleteFileA(kept.c_str());
  RemoveDirectoryA(folder.c_str());
}

}  // namespace
