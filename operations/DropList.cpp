#include "operations/DropList.h"

#include <shlobj.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "archive/PathName.h"
#include "archive/StringList.h"
#include "namespace/WideName.h"

namespace {

bool HasWildcard(const char* name) {
  return std::strchr(name, '*') != nullptr || std::strchr(name, '?') != nullptr;
}

// The names of the list as byte strings, or false when the list does not end inside the block.
template <typename Char>
bool SplitNames(const Char* first, std::size_t available,
                std::vector<std::basic_string<Char>>* out) {
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

void Skip(DropListCounts* counts, std::string shown, NotAddedReason reason) {
  ++counts->skipped;
  counts->notAdded.push_back(NotAddedItem{std::move(shown), reason});
}

}  // namespace

std::string ShownName(const wchar_t* wide) {
  std::string shown;
  for (std::size_t i = 0; wide[i] && shown.size() < MaxPath - 3;) {
    // A surrogate pair is one character.
    std::size_t units = wide[i] >= 0xD800 && wide[i] <= 0xDBFF && wide[i + 1] >= 0xDC00 &&
                                wide[i + 1] <= 0xDFFF ? 2 : 1;
    wchar_t one[3] = {wide[i], units == 2 ? wide[i + 1] : L'\0', L'\0'};
    char bytes[8];
    shown += WideToName(one, bytes, sizeof bytes, FileCodePage) ? bytes : "?";
    i += units;
  }
  return shown;
}

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
    // Room for any name of a path buffer's length: one too long is told as such below.
    std::vector<char> converted(name.size() * 2 + 1);
    if (WideToName(name.c_str(), converted.data(), converted.size(), FileCodePage))
      narrow.emplace_back(converted.data());
    else
      Skip(counts, ShownName(name.c_str()), NotAddedReason::Unrepresentable);
  }
  for (const std::string& name : narrow) {
    if (name.size() >= MaxPath) {
      char shown[MaxPath];
      CopyCut(shown, MaxPath - 3, name.c_str(), name.size());
      Skip(counts, std::string(shown) + "...", NotAddedReason::TooLong);
      continue;
    }
    if (HasWildcard(name.c_str())) {
      Skip(counts, name, NotAddedReason::Wildcard);
      continue;
    }
    if (!paths.Append(name.c_str(), 0, nullptr)) return false;
    ++counts->taken;
  }
  return true;
}
