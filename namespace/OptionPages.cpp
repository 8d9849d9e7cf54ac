#include "namespace/OptionPages.h"

#include <commctrl.h>

#include "namespace/HelpViewer.h"
#include "namespace/ModuleState.h"
#include "namespace/OptionPageSupport.h"
#include "resources/resource.h"

namespace {

void AddPage(LPFNADDPROPSHEETPAGE addPage, LPARAM parameter, int dialog, int title,
             DLGPROC procedure) {
  PROPSHEETPAGEA page = {};
  page.dwSize = PROPSHEETPAGEA_V1_SIZE;
  page.dwFlags = PSP_USETITLE | PSP_HASHELP;
  page.hInstance = ModuleInstance;
  page.pszTemplate = MAKEINTRESOURCEA(dialog);
  page.pszTitle = MAKEINTRESOURCEA(title);
  page.pfnDlgProc = procedure;
  HPROPSHEETPAGE handle = CreatePropertySheetPageA(&page);
  if (!handle) return;
  // The add-page function's answer is not relied on by the browser's sheet; a refused page would
  // otherwise never be freed.
  if (!addPage(handle, parameter)) DestroyPropertySheetPage(handle);
}

}  // namespace

void FillListFromStrings(HWND page, int control, int firstString, int count) {
  HWND list = GetDlgItem(page, control);
  for (int i = 0; i < count; ++i) {
    char text[64] = "";
    LoadStringA(ModuleInstance, firstString + i, text, sizeof text);
    SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  }
}

INT_PTR HandlePageNotification(HWND page, LPARAM lParam, void (*apply)(HWND page)) {
  const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
  if (header && header->code == static_cast<UINT>(PSN_HELP)) {
    ShowHelpTopic(page, "IDH_OPTIONS");
    return TRUE;
  }
  if (!header || header->code != static_cast<UINT>(PSN_APPLY)) return FALSE;
  apply(page);
  SetWindowLongPtrA(page, DWLP_MSGRESULT, PSNRET_NOERROR);
  return TRUE;
}

void MarkPageChanged(HWND page) {
  SendMessageA(GetParent(page), PSM_CHANGED, reinterpret_cast<WPARAM>(page), 0);
}

void AddOptionPages(LPFNADDPROPSHEETPAGE addPage, LPARAM parameter) {
  AddPage(addPage, parameter, IDD_FOLDER_OPTIONS, IDS_FOLDER_PAGE_TITLE, FolderOptionsPageProc);
  AddPage(addPage, parameter, IDD_COMPRESSION_OPTIONS, IDS_COMPRESSION_PAGE_TITLE,
          CompressionOptionsPageProc);
}
