// Dialog 503: may an extracted member replace the file already on disk?
#include <windows.h>
#include <shellapi.h>

#include <cstring>

#include "archive/SizeText.h"
#include "archive/TimeConversion.h"
#include "namespace/ModuleState.h"
#include "namespace/ResourceText.h"
#include "operations/ConfirmationDialogs.h"
#include "operations/DialogSupport.h"
#include "resources/resource.h"

namespace {

// The wording follows the existing file's attributes: system, then read-only, then folder.
UINT MessageFor(std::uint32_t attributes) {
  if (attributes & FILE_ATTRIBUTE_SYSTEM) return IDS_EXISTING_SYSTEM;
  if (attributes & FILE_ATTRIBUTE_READONLY) return IDS_EXISTING_READ_ONLY;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return IDS_EXISTING_FOLDER;
  return IDS_EXISTING_FILE;
}

// "ｻｲｽﾞ: 1.50KB\r\n更新日時: <long date>、<time>"
void Describe(HWND dialog, int control, std::uint32_t size, std::uint32_t seconds,
              const SizePatterns& patterns) {
  char text[512] = "";
  char part[128];
  LoadLibraryString(IDS_SIZE_LABEL, text, sizeof text);
  SizeText(part, sizeof part, size, false, patterns);
  lstrcatA(text, part);
  lstrcatA(text, "\r\n");
  LoadLibraryString(IDS_MODIFIED_LABEL, part, sizeof part);
  lstrcatA(text, part);
  platform::FileTime time;
  UnixToFileTime(seconds, &time);
  FormatFileTime(time, part, sizeof part, DATE_LONGDATE, OmitPart);
  lstrcatA(text, part);
  LoadLibraryString(IDS_DATE_TIME_SEPARATOR, part, sizeof part);
  lstrcatA(text, part);
  FormatFileTime(time, part, sizeof part, OmitPart, 0);
  lstrcatA(text, part);
  SetDlgItemTextA(dialog, control, text);
}

void InitOverwriteDialog(HWND dialog, const OverwriteRecord& record) {
  SetFormattedText(dialog, IDC_MESSAGE, MessageFor(record.existingAttributes), record.newName);
  LibrarySizePatterns patterns;
  Describe(dialog, IDC_EXISTING_TEXT, record.existingSize, record.existingTime, patterns.patterns);
  Describe(dialog, IDC_NEW_TEXT, record.newSize, record.newTime, patterns.patterns);
  // The existing file's icon by its name alone (no disk access); the new file has no type yet.
  SHFILEINFOA info = {};
  if (SHGetFileInfoA(record.existingName, record.existingAttributes, &info, sizeof info,
                     SHGFI_ICON | SHGFI_USEFILEATTRIBUTES) &&
      info.hIcon)
    SendDlgItemMessageA(dialog, IDC_EXISTING_ICON, STM_SETICON,
                        reinterpret_cast<WPARAM>(info.hIcon), 0);
  SendDlgItemMessageA(dialog, IDC_NEW_ICON, STM_SETICON,
                      reinterpret_cast<WPARAM>(LoadIcon(nullptr, IDI_WINLOGO)), 0);
}

INT_PTR CALLBACK OverwriteDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      KeepDialogRecord(dialog, lParam);
      InitOverwriteDialog(dialog, *reinterpret_cast<const OverwriteRecord*>(lParam));
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK: EndDialog(dialog, static_cast<INT_PTR>(OverwriteAnswer::Yes)); return TRUE;
        case IDC_ALL: EndDialog(dialog, static_cast<INT_PTR>(OverwriteAnswer::All)); return TRUE;
        case IDNO: EndDialog(dialog, static_cast<INT_PTR>(OverwriteAnswer::No)); return TRUE;
        case IDCANCEL: EndDialog(dialog, static_cast<INT_PTR>(OverwriteAnswer::Cancel)); return TRUE;
        default: return FALSE;
      }
    case WM_DESTROY: {
      // The icon from SHGetFileInfo belongs to us.
      HICON icon = reinterpret_cast<HICON>(
          SendDlgItemMessageA(dialog, IDC_EXISTING_ICON, STM_SETICON, 0, 0));
      if (icon) DestroyIcon(icon);
      return FALSE;
    }
    default:
      return FALSE;
  }
}

}  // namespace

int RunOverwriteDialog(HWND owner, const OverwriteRecord& record) {
  INT_PTR result = DialogBoxParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_OVERWRITE), owner,
                                   OverwriteDialogProc, reinterpret_cast<LPARAM>(&record));
  if (result < static_cast<INT_PTR>(OverwriteAnswer::Yes) ||
      result > static_cast<INT_PTR>(OverwriteAnswer::Cancel))
    return static_cast<int>(OverwriteAnswer::Cancel);
  return static_cast<int>(result);
}

OverwriteAnswer AskOverwriteWithDialog(void* ownerWindow, const OverwriteRecord& record) {
  return static_cast<OverwriteAnswer>(RunOverwriteDialog(static_cast<HWND>(ownerWindow), record));
}
