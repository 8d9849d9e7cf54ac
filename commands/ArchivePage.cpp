// The page of the archive file itself (dialog 500): its type, place, times and attributes, and
// how many files and folders it holds with their total size. Only the file's attributes can be
// changed here; the system box only shows.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <shlobj.h>

#include <new>

#include "archive/Archive.h"
#include "archive/EntryEnumerator.h"
#include "archive/TimeConversion.h"
#include "commands/PropertyPages.h"
#include "commands/PropertySheets.h"
#include "namespace/ArchiveFolder.h"
#include "namespace/ModuleState.h"
#include "namespace/ResourceText.h"

namespace {

constexpr DWORD NoFileFound = INVALID_FILE_ATTRIBUTES;

struct ArchivePageState {
  ArchiveFolder* folder = nullptr;
  HICON icon = nullptr;               // the file's icon from the shell; destroyed with the page
  DWORD attributes = NoFileFound;     // as the file had them when last read or written
  bool ready = false;                 // false while the page fills its controls
};

void ShowFileTime(HWND page, int control, const FILETIME& time, bool withTime) {
  char text[160];
  FormatFileTime(platform::FileTime{time.dwLowDateTime, time.dwHighDateTime}, text, sizeof text,
                 DATE_LONGDATE, withTime ? 0 : OmitPart);
  SetDlgItemTextA(page, control, text);
}

void ShowContents(HWND page, Archive* archive) {
  int files = 0;
  int folders = 0;
  std::uint64_t total = 0;
  EntryEnumerator* snapshot = archive ? archive->EnumEntries() : nullptr;
  if (snapshot) {
    ArchiveEntry record;
    while (snapshot->Next(1, &record, nullptr) == ResultOk) {
      if (record.attributes & FolderAttribute) {
        ++folders;
      } else {
        ++files;
        total += record.originalSize;
      }
    }
    snapshot->Release();
  }
  char pattern[64];
  char text[160];
  LoadLibraryString(IDS_FILE_FOLDER_COUNT, pattern, sizeof pattern);
  wsprintfA(text, pattern, files, folders);
  SetDlgItemTextA(page, IDC_PAGE_NAME, text);
  char kilobytes[32];
  char bytes[32];
  DecimalText((total + 1023) / 1024, false, kilobytes, sizeof kilobytes);
  DecimalText(total, false, bytes, sizeof bytes);
  LoadLibraryString(IDS_PAGE_KB_AND_BYTES, pattern, sizeof pattern);
  wsprintfA(text, pattern, kilobytes, bytes);
  SetDlgItemTextA(page, IDC_PAGE_SIZE, text);
}

void Init(HWND page, ArchivePageState& state) {
  const char* path = state.folder->archivePath;
  EnableWindow(GetDlgItem(page, IDC_HEADER_LEVEL), FALSE);
  EnableWindow(GetDlgItem(page, IDC_METHOD), FALSE);
  EnableWindow(GetDlgItem(page, IDC_PAGE_SYSTEM), FALSE);
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA(path, &found);
  if (find != INVALID_HANDLE_VALUE) {
    FindClose(find);
    state.attributes = found.dwFileAttributes;
    ShowFileTime(page, IDC_PAGE_CREATED, found.ftCreationTime, true);
    ShowFileTime(page, IDC_PAGE_MODIFIED, found.ftLastWriteTime, true);
    // Windows 95 keeps only the date of the last access.
    ShowFileTime(page, IDC_PAGE_ACCESSED, found.ftLastAccessTime, !IsWindows95);
    for (const AttributeBox& box : AttributeBoxes)
      CheckDlgButton(page, box.control, (found.dwFileAttributes & box.bit) ? BST_CHECKED
                                                                            : BST_UNCHECKED);
  }
  SHFILEINFOA info = {};
  if (SHGetFileInfoA(path, 0, &info, sizeof info, SHGFI_ICON | SHGFI_TYPENAME)) {
    state.icon = info.hIcon;
    ShowPageIcon(page, info.hIcon);
    SetDlgItemTextA(page, IDC_PAGE_TYPE, info.szTypeName);
  }
  SetDlgItemTextA(page, IDC_PAGE_LOCATION, path);
  ShowContents(page, state.folder->archive);
}

LONG_PTR Apply(HWND page, ArchivePageState& state) {
  if (state.attributes == NoFileFound) return PSNRET_NOERROR;
  DWORD chosen = 0;
  for (const AttributeBox& box : AttributeBoxes)
    if (IsDlgButtonChecked(page, box.control) == BST_CHECKED) chosen |= box.bit;
  // Bits the page does not show stay as they are; "normal" only stands for no bit at all.
  DWORD kept = state.attributes & ~static_cast<DWORD>(AttributeBoxBits | FILE_ATTRIBUTE_NORMAL);
  DWORD wanted = kept | chosen;
  DWORD current = state.attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL);
  if (wanted == current) return PSNRET_NOERROR;
  const char* path = state.folder->archivePath;
  if (!SetFileAttributesA(path, wanted ? wanted : FILE_ATTRIBUTE_NORMAL)) {
    TellUser(page, IDS_PAGE_ATTRIBUTES_FAILED, path);
    return PSNRET_INVALID_NOCHANGEPAGE;
  }
  state.attributes = wanted;
  SHChangeNotify(SHCNE_ATTRIBUTES, SHCNF_PATHA, path, nullptr);
  return PSNRET_NOERROR;
}

}  // namespace

INT_PTR CALLBACK ArchivePage(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  ArchivePageState* state = PageState<ArchivePageState>(page);
  switch (message) {
    case WM_INITDIALOG: {
      PropertyTarget* target = TargetOfPage(lParam);
      if (!target || !target->folder) return TRUE;
      state = new (std::nothrow) ArchivePageState;
      if (!state) return TRUE;
      state->folder = target->folder;
      AttachPageState(page, state);
      Init(page, *state);
      state->ready = true;
      return TRUE;
    }
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) >= IDC_PAGE_READ_ONLY &&
          LOWORD(wParam) <= IDC_PAGE_SYSTEM && state && state->ready)
        SendMessageA(GetParent(page), PSM_CHANGED, reinterpret_cast<WPARAM>(page), 0);
      return FALSE;
    case WM_NOTIFY:
      if (reinterpret_cast<NMHDR*>(lParam)->code == PSN_APPLY)
        return PageResult(page, state ? Apply(page, *state) : PSNRET_NOERROR);
      return FALSE;
    case WM_DESTROY:
      DestroyPageState(page, state);
      return FALSE;
  }
  return FALSE;
}
