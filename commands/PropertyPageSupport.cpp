#include "commands/PropertyPages.h"

#include <shellapi.h>
#include <prsht.h>

#include <cstring>

#include "archive/EntryEnumerator.h"
#include "archive/NoCase.h"
#include "archive/PathName.h"
#include "archive/SizeText.h"
#include "archive/TimeConversion.h"
#include "namespace/ArchiveFolder.h"
#include "namespace/ResourceText.h"
#include "namespace/WideName.h"

namespace {

// True when some member's path lies below `folderKey` (which ends with a backslash), compared as
// the listing groups folders: ignoring case, double-byte characters whole.
bool HasMembersBelow(EntryEnumerator& snapshot, const char* folderKey) {
  std::size_t length = std::strlen(folderKey);
  snapshot.Reset();
  ArchiveEntry record;
  while (snapshot.Next(1, &record, nullptr) == ResultOk) {
    char path[EntryPathMax];
    EntryPath(record, path);
    if (std::strlen(path) > length && IsBelowFolder(folderKey, path)) return true;
  }
  return false;
}

}  // namespace

void ItemKey(const ItemId& item, char (&key)[MaxPath + 1]) {
  CopyCut(key, MaxPath, item.path, ItemPathMax);
  if (IsFolderItem(item)) JoinPath(key, sizeof key, key, "");  // fits: cut to MaxPath - 1
}

ItemHeader FindItemHeader(EntryEnumerator& snapshot, const ItemId& item, ArchiveEntry* entry) {
  if (item.isSynthetic > 1) return ItemHeader::Unknown;
  char key[MaxPath + 1];
  ItemKey(item, key);
  // A synthetic folder may have got a header of its own meanwhile; a folder item built from a
  // header may stand on the header of a folder inside it ("DIR\SUB\" listed as "DIR").
  if (snapshot.FindEntry(key, entry)) return ItemHeader::Own;
  if (IsFolderItem(item) && HasMembersBelow(snapshot, key)) return ItemHeader::Borrowed;
  return ItemHeader::Gone;
}

HICON ItemIconAndType(const ItemId& item, char* typeName, std::size_t size) {
  SHFILEINFOA info = {};
  UINT flags = SHGFI_ICON | SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES;
  if (!SHGetFileInfoA(item.path, item.attributes, &info, sizeof info, flags)) info.hIcon = nullptr;
  CopyCut(typeName, size, info.szTypeName, sizeof info.szTypeName);
  return info.hIcon;
}

void FolderLocation(const ArchiveFolder& folder, char (&out)[MaxPath]) {
  if (!folder.innerPath[0]) {
    CopyCut(out, sizeof out, folder.archivePath, MaxPath);
    return;
  }
  std::size_t length = CopyCut(out, sizeof out, folder.innerPath, MaxPath);
  // Only a separator of its own is dropped, never the trail byte of a double-byte character.
  if (EndsWithSeparator(out, length)) out[length - 1] = '\0';
}

void ShowMemberText(HWND page, int control, const char* text) {
  wchar_t wide[CommentMax + MaxPath];
  if (NameToWide(text, wide, sizeof wide / sizeof wide[0], MemberCodePage))
    SetDlgItemTextW(page, control, wide);
  else
    SetDlgItemTextA(page, control, text);
}

void ShowPageIcon(HWND page, HICON icon) {
  if (icon) SendDlgItemMessageA(page, IDC_PAGE_ICON, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
}

void MemberTimeText(std::uint32_t seconds, char* out, std::size_t size) {
  platform::FileTime time;
  UnixToFileTime(seconds, &time);
  FormatFileTime(time, out, size, DATE_LONGDATE, 0);
}

void DecimalText(std::uint64_t value, bool grouped, char* out, std::size_t size) {
  char reversed[32];
  std::size_t count = 0;
  int digits = 0;
  do {
    if (grouped && digits > 0 && digits % 3 == 0) reversed[count++] = ',';
    reversed[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
    ++digits;
  } while (value != 0);
  if (size == 0) return;
  std::size_t length = count < size ? count : size - 1;
  for (std::size_t i = 0; i < length; ++i) out[i] = reversed[count - 1 - i];
  out[length] = '\0';
}

void TotalSizeText(std::uint64_t bytes, char* out, std::size_t size) {
  LibrarySizePatterns patterns;
  if (bytes <= 0xFFFFFFFFu) {
    SizeText(out, size, static_cast<std::uint32_t>(bytes), true, patterns.patterns);
    return;
  }
  // Past 4 GiB only whole megabytes are shown, then the exact count with the byte pattern's unit.
  char megabytes[64];
  wsprintfA(megabytes, patterns.patterns.text[6], static_cast<int>(bytes >> 20));
  char count[32];
  DecimalText(bytes, true, count, sizeof count);
  char unit[64];
  CopyCut(unit, sizeof unit, patterns.patterns.text[0], 63);
  const char* conversion = std::strstr(unit, "%d");
  const char* after = conversion ? conversion + 2 : "";
  if (conversion) unit[conversion - unit] = '\0';
  char text[256];
  wsprintfA(text, "%s (%s%s%s)", megabytes, unit, count, after);
  CopyCut(out, size, text, sizeof text);
}

void TellUser(HWND page, UINT id, const char* argument) {
  char pattern[256];
  LoadLibraryString(id, pattern, sizeof pattern);
  char text[256 + MaxPath];
  wsprintfA(text, pattern, argument);
  char caption[MaxPath + 64] = "";
  GetWindowTextA(GetParent(page), caption, sizeof caption);
  MessageBoxA(page, text, caption, MB_OK | MB_ICONEXCLAMATION);
}

INT_PTR PageResult(HWND page, LONG_PTR result) {
  SetWindowLongPtrA(page, DWLP_MSGRESULT, result);
  return TRUE;
}
