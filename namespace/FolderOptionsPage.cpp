// The folder page of the options dialog (dialog 110).
#include <windows.h>
#include <commctrl.h>

#include "namespace/OptionPageSupport.h"
#include "namespace/OptionPages.h"
#include "namespace/Settings.h"
#include "resources/resource.h"

namespace {

constexpr int ViewModeCount = 4;  // large icons, small icons, list, details (modes 1 to 4)

void InitFolderPage(HWND page) {
  CheckRadioButton(page, IDC_NEW_WINDOW, IDC_SAME_WINDOW,
                   NewWindowMode() == 1 ? IDC_NEW_WINDOW : IDC_SAME_WINDOW);
  FillListFromStrings(page, IDC_VIEW_MODE, IDS_VIEW_MODE_0, ViewModeCount);
  // Mode 0 (the browser's own choice) has no entry: nothing is selected then.
  SendDlgItemMessageA(page, IDC_VIEW_MODE, CB_SETCURSEL, static_cast<WPARAM>(DefaultView() - 1), 0);
  CheckDlgButton(page, IDC_AUTO_ARRANGE, AutoArrange() == 1 ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(page, IDC_DECODE_IMAGE, DecodeImage() == 1 ? BST_CHECKED : BST_UNCHECKED);
}

void ApplyFolderPage(HWND page) {
  NewWindowMode(IsDlgButtonChecked(page, IDC_NEW_WINDOW) == BST_CHECKED ? 1 : 0);
  LRESULT entry = SendDlgItemMessageA(page, IDC_VIEW_MODE, CB_GETCURSEL, 0, 0);
  DefaultView(static_cast<int>(entry) + 1);  // no entry (-1) keeps the browser's choice, 0
  AutoArrange(IsDlgButtonChecked(page, IDC_AUTO_ARRANGE) == BST_CHECKED ? 1 : 0);
  DecodeImage(IsDlgButtonChecked(page, IDC_DECODE_IMAGE) == BST_CHECKED ? 1 : 0);
}

}  // namespace

INT_PTR CALLBACK FolderOptionsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      InitFolderPage(page);
      return TRUE;
    case WM_COMMAND: {
      int id = LOWORD(wParam);
      int code = HIWORD(wParam);
      bool clicked = code == BN_CLICKED && (id == IDC_NEW_WINDOW || id == IDC_SAME_WINDOW ||
                                            id == IDC_AUTO_ARRANGE || id == IDC_DECODE_IMAGE);
      // The two modes exclude each other even where the group walk of auto radio buttons does not
      // reach across the page's pictures.
      if (code == BN_CLICKED && (id == IDC_NEW_WINDOW || id == IDC_SAME_WINDOW))
        CheckRadioButton(page, IDC_NEW_WINDOW, IDC_SAME_WINDOW, id);
      if (code == CBN_SELCHANGE || clicked) MarkPageChanged(page);
      return TRUE;
    }
    case WM_NOTIFY:
      return HandlePageNotification(page, lParam, ApplyFolderPage);
    default:
      return FALSE;
  }
}
