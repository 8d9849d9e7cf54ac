// Archives, folders and identifier lists for the tests that drive the archive folder the way the
// shell does.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/LzhBuilder.h"
#include "namespace/ItemId.h"
#include "namespace/ModuleState.h"

namespace foldertest {

using lzhtest::Bytes;
using lzhtest::RawMember;

// A stored member ("-lh0-") at level 2 with the given path and text.
inline RawMember File(const std::string& path, const std::string& text = "data",
                      std::uint32_t modifyTime = 1700000000) {
  RawMember m;
  m.path = path;
  m.data = lzhtest::Text(text.empty() ? path : text);
  m.modifyTime = modifyTime;
  return m;
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

// A fresh folder under the user's temporary folder, removed with its contents.
class TempDir {
 public:
  TempDir() {
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    for (int i = 0;; ++i) {
      path_ = std::string(base) + "tnfold" + std::to_string(GetCurrentProcessId()) + "_" +
              std::to_string(serial_++);
      if (CreateDirectoryA(path_.c_str(), nullptr)) break;
    }
  }
  ~TempDir() { Remove(path_); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

  static void Remove(const std::string& path) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        std::string child = path + "\\" + name;
        SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) Remove(child);
        else DeleteFileA(child.c_str());
      } while (FindNextFileA(find, &data));
      FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
  }

 private:
  std::string path_;
  static inline int serial_ = 0;
};

inline bool WriteFileBytes(const std::string& path, const Bytes& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

inline std::string ReadFileText(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string text(1 << 16, '\0');
  DWORD read = 0;
  ReadFile(file, &text[0], static_cast<DWORD>(text.size()), &read, nullptr);
  CloseHandle(file);
  text.resize(read);
  return text;
}

inline bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Writes a level-2 archive of the members to `path`.
inline bool WriteArchive(const std::string& path, const std::vector<RawMember>& members) {
  std::vector<Bytes> headers;
  for (const auto& m : members) headers.push_back(lzhtest::Level2(m));
  return WriteFileBytes(path, lzhtest::ArchiveBytes(headers));
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
