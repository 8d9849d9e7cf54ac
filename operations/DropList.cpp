#include "operations/DropList.h"

#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/PathName.h"
#include "archive/StringList.h"

namespace {

bool HasWildcard(const char* name) {
  return std::strchr(name, '*') != nullptr || std::strchr(name, '?') != nullptr;
}

// The names of the list as byte strings, or false when the list does not end inside the block.
template <typename Char>
bool SplitNames(const Char* first, std::size_t available, std::vector<std::basic_string<Char>>* out) {
  std::size_t at = 0;
  for (;;) {
    std::size_t length = 0;
    while (at + length < available && first[at + length] != 0) ++length;
    if (at + length >= available) return false;  // no terminator inside the block
    if (length == 0) return true;                // the empty name ends the list
    out->emplace_back(first + at, length);
    at += length + 1;
  }
}

bool ToSystemCodePage(const std::wstring& wide, char (&out)[MaxPath]) {
  BOOL replaced = FALSE;
  int made = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, out, sizeof out, nullptr, &replaced);
  return made > 0 && !replaced;
}

}  // namespace

bool ReadDropList(HGLOBAL medium, StringList& paths, DropListCounts* counts) {
  DropListCounts local;
  if (!counts) counts = &local;
  *counts = DropListCounts();
  if (!medium) return false;
  SIZE_T size = GlobalSize(medium);
  if (size < sizeof(DROPFILES)) return false;
  const auto* block = static_cast<const BYTE*>(GlobalLock(medium));
  if (!block) return false;
  DROPFILES header;
  std::memcpy(&header, block, sizeof header);
  bool ok = header.pFiles >= sizeof(DROPFILES) && header.pFiles < size;
  std::vector<std::string> narrow;
  std::vector<std::wstring> wide;
  if (ok && header.fWide) {
    // Copied out so that an odd offset is no misaligned read.
    std::size_t count = (size - header.pFiles) / sizeof(WCHAR);
    std::vector<WCHAR> names(count);
    std::memcpy(names.data(), block + header.pFiles, count * sizeof(WCHAR));
    ok = SplitNames(names.data(), count, &wide);
  } else if (ok) {
    ok = SplitNames(reinterpret_cast<const char*>(block + header.pFiles), size - header.pFiles,
                    &narrow);
  }
  GlobalUnlock(medium);
  if (!ok) return false;
  for (const std::wstring& name : wide) {
    char converted[MaxPath];
    if (ToSystemCodePage(name, converted)) narrow.emplace_back(converted);
    else ++counts->skipped;
  }
  for (const std::string& name : narrow) {
    if (name.size() >= MaxPath || HasWildcard(name.c_str())) {
      ++counts->skipped;
      continue;
    }
    if (!paths.Append(name.c_str(), 0, nullptr)) return false;
    ++counts->taken;
  }
  return true;
}
