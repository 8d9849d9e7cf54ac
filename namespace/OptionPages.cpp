#include "namespace/OptionPages.h"

#include <commctrl.h>

#include "namespace/ModuleState.h"
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

void AddOptionPages(LPFNADDPROPSHEETPAGE addPage, LPARAM parameter) {
  AddPage(addPage, parameter, IDD_FOLDER_OPTIONS, IDS_FOLDER_PAGE_TITLE, FolderOptionsPageProc);
  AddPage(addPage, parameter, IDD_COMPRESSION_OPTIONS, IDS_COMPRESSION_PAGE_TITLE,
          CompressionOptionsPageProc);
}
