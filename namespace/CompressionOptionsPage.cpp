// The compression page of the options dialog (dialog 113).
#include <windows.h>
#include <commctrl.h>

#include "namespace/OptionPageSupport.h"
#include "namespace/OptionPages.h"
#include "namespace/Settings.h"
#include "resources/resource.h"

namespace {

constexpr int MethodCount = 5;  // "-lh0-", "-lh4-" .. "-lh7-"
constexpr int LevelCount = 4;   // header levels 0 to 3
constexpr int LongestDelay = 30;
constexpr int DelayWhenOff = 3;  // shown (greyed) while the progress dialog is switched off

// Entry 0 of the method list is method 0; entries 1 to 4 are methods 4 to 7.
int MethodToEntry(int method) { return method == 0 ? 0 : method - 3; }
int EntryToMethod(int entry) { return entry == 0 ? 0 : entry + 3; }

void EnableDelay(HWND page, bool enable) {
  EnableWindow(GetDlgItem(page, IDC_DELAY_SPIN), enable);
  EnableWindow(GetDlgItem(page, IDC_DELAY_EDIT), enable);
}

void InitCompressionPage(HWND page) {
  CheckDlgButton(page, IDC_NO_LONG_NAMES, UseLongName() == 0 ? BST_CHECKED : BST_UNCHECKED);
  FillListFromStrings(page, IDC_METHOD, IDS_METHOD_CHOICE_0, MethodCount);
  SendDlgItemMessageA(page, IDC_METHOD, CB_SETCURSEL,
                      static_cast<WPARAM>(MethodToEntry(EncodeMethod())), 0);
  FillListFromStrings(page, IDC_HEADER_LEVEL, IDS_LEVEL_CHOICE_0, LevelCount);
  SendDlgItemMessageA(page, IDC_HEADER_LEVEL, CB_SETCURSEL, static_cast<WPARAM>(HeaderLevel()), 0);
  SendDlgItemMessageA(page, IDC_DELAY_SPIN, UDM_SETRANGE, 0, MAKELPARAM(LongestDelay, 0));
  int delay = DialogDelay();
  if (delay == -1) {
    EnableDelay(page, false);
    SendDlgItemMessageA(page, IDC_DELAY_SPIN, UDM_SETPOS, 0, MAKELPARAM(DelayWhenOff, 0));
  } else {
    CheckDlgButton(page, IDC_USE_PROGRESS, BST_CHECKED);
    SendDlgItemMessageA(page, IDC_DELAY_SPIN, UDM_SETPOS, 0, MAKELPARAM(delay, 0));
  }
}

void ApplyCompressionPage(HWND page) {
  LRESULT method = SendDlgItemMessageA(page, IDC_METHOD, CB_GETCURSEL, 0, 0);
  if (method >= 0 && method < MethodCount) EncodeMethod(EntryToMethod(static_cast<int>(method)));
  LRESULT level = SendDlgItemMessageA(page, IDC_HEADER_LEVEL, CB_GETCURSEL, 0, 0);
  if (level >= 0 && level < LevelCount) HeaderLevel(static_cast<int>(level));
  UseLongName(IsDlgButtonChecked(page, IDC_NO_LONG_NAMES) == BST_CHECKED ? 0 : 1);
  if (IsDlgButtonChecked(page, IDC_USE_PROGRESS) == BST_CHECKED) {
    LRESULT position = SendDlgItemMessageA(page, IDC_DELAY_SPIN, UDM_GETPOS, 0, 0);
    DialogDelay(static_cast<short>(LOWORD(position)));
  } else {
    DialogDelay(-1);
  }
}

}  // namespace

INT_PTR CALLBACK CompressionOptionsPageProc(HWND page, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      InitCompressionPage(page);
      return TRUE;
    case WM_COMMAND:
      // The check boxes do not mark the page changed; their state is stored on apply all the same.
      if (HIWORD(wParam) == CBN_SELCHANGE)
        MarkPageChanged(page);
      else if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDC_USE_PROGRESS)
        EnableDelay(page, IsDlgButtonChecked(page, IDC_USE_PROGRESS) == BST_CHECKED);
      return TRUE;
    case WM_NOTIFY:
      return HandlePageNotification(page, lParam, ApplyCompressionPage);
    default:
      return FALSE;
  }
}
