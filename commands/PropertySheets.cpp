#include "commands/PropertySheets.h"

#include <commctrl.h>
#include <prsht.h>

#include "archive/PathName.h"
#include "commands/PropertyPages.h"
#include "namespace/ArchiveFolder.h"
#include "namespace/ModuleState.h"
#include "namespace/ResourceText.h"

namespace {

PROPSHEETPAGEA Page(UINT dialog, DLGPROC procedure, const char* title, PropertyTarget& target) {
  PROPSHEETPAGEA page = {};
  page.dwSize = sizeof page;
  page.dwFlags = PSP_USETITLE;
  page.hInstance = ModuleInstance;
  page.pszTemplate = MAKEINTRESOURCEA(dialog);
  page.pfnDlgProc = procedure;
  page.pszTitle = title;
  page.lParam = reinterpret_cast<LPARAM>(&target);
  return page;
}

// Shows the pages modally under the caption pattern `captionId` filled with `name` (at most a
// 259-byte path).
void ShowSheet(HWND owner, UINT captionId, const char* name, PROPSHEETPAGEA* pages, UINT count) {
  char pattern[64];
  LoadLibraryString(captionId, pattern, sizeof pattern);
  char shortened[MaxPath];
  CopyCut(shortened, sizeof shortened, name, MaxPath - 1);
  char caption[MaxPath + sizeof pattern];
  wsprintfA(caption, pattern, shortened);
  PROPSHEETHEADERA header = {};
  header.dwSize = sizeof header;
  header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOCONTEXTHELP;
  header.hwndParent = owner;
  header.hInstance = ModuleInstance;
  header.pszCaption = caption;
  header.nPages = count;
  header.ppsp = pages;
  PropertySheetA(&header);
}

}  // namespace

void ShowMemberProperties(HWND owner, PropertyTarget& target) {
  if (!target.folder || target.items.empty()) return;
  char general[64];
  char comment[64];
  LoadLibraryString(IDS_PAGE_GENERAL, general, sizeof general);
  LoadLibraryString(IDS_PAGE_COMMENT, comment, sizeof comment);
  const char* name = PathNamePart(target.items[0].path);
  if (target.items.size() == 1) {
    PROPSHEETPAGEA pages[] = {Page(IDD_MEMBER_PAGE, MemberPage, general, target),
                              Page(IDD_COMMENT_PAGE, CommentPage, comment, target)};
    ShowSheet(owner, IDS_PROPERTIES_ONE, name, pages, 2);
  } else {
    PROPSHEETPAGEA pages[] = {Page(IDD_MEMBERS_PAGE, MemberPage, general, target)};
    ShowSheet(owner, IDS_PROPERTIES_MANY, name, pages, 1);
  }
}

void ShowArchiveProperties(HWND owner, ArchiveFolder* folder) {
  if (!folder) return;
  PropertyTarget target;
  target.folder = folder;
  char general[64];
  LoadLibraryString(IDS_PAGE_GENERAL, general, sizeof general);
  PROPSHEETPAGEA pages[] = {Page(IDD_MEMBER_PAGE, ArchivePage, general, target)};
  ShowSheet(owner, IDS_PROPERTIES_ONE, folder->archivePath, pages, 1);
}
