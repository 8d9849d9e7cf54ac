// Archives, folders and identifier lists for the tests that drive the archive folder the way the
// shell does.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "namespace/ItemId.h"
#include "namespace/ModuleState.h"
#include "support/LzhBuilder.h"
#include "support/TempFolder.h"
#include "support/TestFiles.h"

namespace foldertest {

using namespace testsupport;

// A stored member ("-lh0-") at level 2 with the given path and text.
inline RawMember File(const std::string& path, const std::string& text = "data",
                      std::uint32_t modifyTime = 1700000000) {
  return StoredMember(path, TextBytes(text.empty() ? path : text), modifyTime);
}

// A folder entry ("-lhd-", attribute 0x10); `path` ends with a backslash.
inline RawMember FolderEntry(const std::string& path, std::uint32_t modifyTime = 1600000000) {
  RawMember m;
  m.method = "-lhd-";
  m.path = path;
  m.attributes = 0x10;
  m.modifyTime = modifyTime;
  return m;
}

// One item closed by the 16-bit zero that ends an identifier list, as the shell passes items.
#pragma pack(push, 1)
struct HeldItem : ItemId {
  std::uint16_t terminator = 0;
  HeldItem() : ItemId{} {}
  HeldItem(const ItemId& item) : ItemId(item) {}  // NOLINT: a held copy of an item
  LPCITEMIDLIST list() const { return reinterpret_cast<LPCITEMIDLIST>(this); }
};
#pragma pack(pop)
static_assert(sizeof(HeldItem) == 312, "one item and a terminator");

// The built library as the shell loads it (the test runner names it in TANUFOLD_DLL).
inline std::string LibraryPath() {
  const char* path = std::getenv("TANUFOLD_DLL");
  return path ? HostPath(path) : "tanufold.dll";
}

// The shell's absolute identifier list of a file (freed with the task allocator).
inline LPITEMIDLIST ShellIdListOf(const std::string& path) {
  WCHAR wide[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
  LPITEMIDLIST list = nullptr;
  if (FAILED(SHParseDisplayName(wide, nullptr, &list, 0, nullptr))) return nullptr;
  return list;
}

// Identifier lists received from the shell-facing methods, freed with the task allocator.
class ReceivedItems {
 public:
  ~ReceivedItems() { Clear(); }
  void Clear() {
    for (LPITEMIDLIST item : items) CoTaskMemFree(item);
    items.clear();
  }
  const ItemId& operator[](std::size_t i) const {
    return *reinterpret_cast<const ItemId*>(items[i]);
  }
  std::size_t size() const { return items.size(); }
  std::vector<LPITEMIDLIST> items;
};

// Every item of one enumeration, in the order handed out.
inline void ReadAll(IEnumIDList* enumerator, ReceivedItems& out) {
  for (;;) {
    LPITEMIDLIST item = nullptr;
    ULONG fetched = 0;
    HRESULT result = enumerator->Next(1, &item, &fetched);
    if (fetched == 1) out.items.push_back(item);
    if (result != S_OK) break;
  }
}

inline std::vector<std::string> Paths(const ReceivedItems& items) {
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < items.size(); ++i) paths.push_back(items[i].path);
  return paths;
}

// The item with `path` as the folder's enumeration hands it out (a failure when none is listed).
inline HeldItem ListedItem(IShellFolder* folder, const std::string& path) {
  IEnumIDList* enumerator = nullptr;
  EXPECT_EQ(folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, &enumerator), S_OK);
  ReceivedItems items;
  if (enumerator) {
    ReadAll(enumerator, items);
    enumerator->Release();
  }
  for (std::size_t i = 0; i < items.size(); ++i)
    if (path == items[i].path) return HeldItem(items[i]);
  ADD_FAILURE() << path << " not listed";
  return HeldItem();
}

// The text of a STRRET the way the shell reads it.
inline std::string StrRetText(STRRET& name, LPCITEMIDLIST item) {
  switch (name.uType) {
    case STRRET_CSTR:
      return name.cStr;
    case STRRET_OFFSET:
      return reinterpret_cast<const char*>(item) + name.uOffset;
    case STRRET_WSTR: {
      char text[2048] = "";
      WideCharToMultiByte(CP_OEMCP, 0, name.pOleStr, -1, text, sizeof text, nullptr, nullptr);
      CoTaskMemFree(name.pOleStr);
      return text;
    }
  }
  return "<unknown STRRET>";
}

}  // namespace foldertest
