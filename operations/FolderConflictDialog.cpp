// Dialog 121: an item to be added cannot take its name because a member of the other kind (a
// folder for a file, a file for a folder) already has it; the user gives a new name or skips it.
#include <windows.h>

#include "namespace/ModuleState.h"
#include "operations/ConfirmationDialogs.h"
#include "operations/DialogSupport.h"
#include "resources/resource.h"

namespace {

void InitFolderConflictDialog(HWND dialog, NameConflictRecord& record) {
  bool folderExists = record.form == 1;
  SetFormattedText(dialog, IDC_MESSAGE, folderExists ? IDS_FOLDER_EXISTS : IDS_FILE_EXISTS_AS_FOLDER,
                   record.shownName, record.itemName);
  HICON icon = LoadIconA(ModuleInstance,
                         MAKEINTRESOURCEA(folderExists ? IDI_FOLDER_TAKEN : IDI_FILE_TAKEN));
  SendDlgItemMessageA(dialog, IDC_DIALOG_ICON, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
  SendDlgItemMessageA(dialog, IDC_NEW_NAME, EM_LIMITTEXT, MAX_PATH - 1, 0);
  SetDlgItemTextA(dialog, IDC_NEW_NAME, record.itemName);
  ReadEditText(dialog, IDC_NEW_NAME, record.nameBuffer, sizeof record.nameBuffer);
  // The edit starts with the name that is taken: nothing to confirm yet.
  EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
}

INT_PTR CALLBACK FolderConflictDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                          LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      KeepDialogRecord(dialog, lParam);
      InitFolderConflictDialog(dialog, *reinterpret_cast<NameConflictRecord*>(lParam));
      return TRUE;
    case WM_COMMAND: {
      NameConflictRecord* record = DialogRecord<NameConflictRecord>(dialog);
      if (!record) return FALSE;
      switch (LOWORD(wParam)) {
        case IDC_NEW_NAME:
          if (HIWORD(wParam) != EN_CHANGE) return FALSE;
          ReadEditText(dialog, IDC_NEW_NAME, record->nameBuffer, sizeof record->nameBuffer);
          EnableWindow(GetDlgItem(dialog, IDOK),
                       IsAcceptableNewName(record->nameBuffer, record->itemName));
          return TRUE;
        case IDOK:
          // Enter reaches here even while the button is greyed.
          if (!IsWindowEnabled(GetDlgItem(dialog, IDOK))) return TRUE;
          ReadEditText(dialog, IDC_NEW_NAME, record->nameBuffer, sizeof record->nameBuffer);
          EndDialog(dialog, 1);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, 2);
          return TRUE;
        default:
          return FALSE;
      }
    }
    default:
      return FALSE;
  }
}

}  // namespace

int RunFolderConflictDialog(HWND owner, NameConflictRecord& record) {
  INT_PTR result = DialogBoxParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_FOLDER_CONFLICT), owner,
                                   FolderConflictDialogProc, reinterpret_cast<LPARAM>(&record));
  return result == 1 ? 1 : 2;
}
