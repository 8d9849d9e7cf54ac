// Dialog 124: a file to be added has the name of a member file. The user replaces the member (once
// or for the rest of the job), stores the file under a new name, or skips it.
#include <windows.h>

#include <cstring>

#include "namespace/ModuleState.h"
#include "operations/ConfirmationDialogs.h"
#include "operations/DialogSupport.h"
#include "resources/resource.h"

namespace {

// The dialog's own state: the caller's record and the colliding name as it came in, which the
// name buffer gets back when the member is replaced after the rename field was edited.
struct FileConflictState {
  NameConflictRecord* record;
  char collidingName[260];
};

const int kChoices[] = {IDC_OVERWRITE, IDC_ALL, IDC_KEEP_NEWER, IDC_KEEP_NEWER_ALL, IDC_RENAME};

void Select(HWND dialog, int choice) {
  for (int id : kChoices) CheckDlgButton(dialog, id, id == choice ? BST_CHECKED : BST_UNCHECKED);
}

void EnableRename(HWND dialog, bool enable) {
  EnableWindow(GetDlgItem(dialog, IDC_NEW_NAME_LABEL), enable);
  EnableWindow(GetDlgItem(dialog, IDC_NEW_NAME), enable);
}

bool Renaming(HWND dialog) { return IsDlgButtonChecked(dialog, IDC_RENAME) == BST_CHECKED; }

void UpdateOk(HWND dialog, const NameConflictRecord& record) {
  EnableWindow(GetDlgItem(dialog, IDOK), IsAcceptableNewName(record.nameBuffer, record.itemName));
}

void InitFileConflictDialog(HWND dialog, FileConflictState& state) {
  NameConflictRecord& record = *state.record;
  record.allAnswer = 0;
  lstrcpynA(state.collidingName, record.nameBuffer, sizeof state.collidingName);
  SetFormattedText(dialog, IDC_MESSAGE, IDS_FILE_EXISTS, record.shownName);
  Select(dialog, IDC_OVERWRITE);
  SendDlgItemMessageA(dialog, IDC_NEW_NAME, EM_LIMITTEXT, MAX_PATH - 1, 0);
  SetDlgItemTextA(dialog, IDC_NEW_NAME, record.nameBuffer);
  EnableRename(dialog, false);
  EnableWindow(GetDlgItem(dialog, IDC_KEEP_NEWER), FALSE);
  EnableWindow(GetDlgItem(dialog, IDC_KEEP_NEWER_ALL), FALSE);
  EnableWindow(GetDlgItem(dialog, IDOK), TRUE);
}

void Confirm(HWND dialog, FileConflictState& state) {
  NameConflictRecord& record = *state.record;
  if (Renaming(dialog)) {
    ReadEditText(dialog, IDC_NEW_NAME, record.nameBuffer, sizeof record.nameBuffer);
  } else {
    lstrcpynA(record.nameBuffer, state.collidingName, sizeof record.nameBuffer);
    if (IsDlgButtonChecked(dialog, IDC_ALL) == BST_CHECKED) record.allAnswer = 1;
  }
  EndDialog(dialog, 1);
}

INT_PTR CALLBACK FileConflictDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    KeepDialogRecord(dialog, lParam);
    InitFileConflictDialog(dialog, *reinterpret_cast<FileConflictState*>(lParam));
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  FileConflictState* state = DialogRecord<FileConflictState>(dialog);
  if (!state) return FALSE;
  NameConflictRecord& record = *state->record;
  int id = LOWORD(wParam);
  int code = HIWORD(wParam);
  switch (id) {
    case IDC_OVERWRITE:
    case IDC_ALL:
    case IDC_KEEP_NEWER:
    case IDC_KEEP_NEWER_ALL:
      if (code != BN_CLICKED) return FALSE;
      Select(dialog, id);
      EnableRename(dialog, false);
      EnableWindow(GetDlgItem(dialog, IDOK), TRUE);
      return TRUE;
    case IDC_RENAME:
      if (code != BN_CLICKED) return FALSE;
      Select(dialog, id);
      EnableRename(dialog, true);
      UpdateOk(dialog, record);
      return TRUE;
    case IDC_NEW_NAME:
      if (code != EN_CHANGE || !Renaming(dialog)) return FALSE;
      ReadEditText(dialog, IDC_NEW_NAME, record.nameBuffer, sizeof record.nameBuffer);
      UpdateOk(dialog, record);
      return TRUE;
    case IDOK:
      if (IsWindowEnabled(GetDlgItem(dialog, IDOK))) Confirm(dialog, *state);
      return TRUE;
    case IDCANCEL:
      lstrcpynA(record.nameBuffer, state->collidingName, sizeof record.nameBuffer);
      EndDialog(dialog, 2);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

int RunFileConflictDialog(HWND owner, NameConflictRecord& record) {
  FileConflictState state = {&record, ""};
  INT_PTR result = DialogBoxParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_FILE_CONFLICT), owner,
                                   FileConflictDialogProc, reinterpret_cast<LPARAM>(&state));
  return result == 1 ? 1 : 2;
}
