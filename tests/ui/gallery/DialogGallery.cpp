// Shows one dialog of the shell library with sample data, writes its screen rectangle to a file
// once it is drawn, and closes it again a few seconds later. scripts/screenshots.sh runs it under
// Xvfb and captures the rectangle.
//
//   dialog_gallery.exe NAME RECT_FILE
//   NAME: overwrite, overwrite-folder, folder-conflict, file-conflict, file-conflict-rename,
//         folder-options, compression-options
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "namespace/ModuleState.h"
#include "namespace/OptionPages.h"
#include "operations/ConfirmationDialogs.h"
#include "resources/resource.h"
#include "ui/UiHarness.h"

namespace {

std::string rectFile;

// Sample names in Shift-JIS: "売上報告書_2024年度.xls", "写真ﾌｫﾙﾀﾞ" (0x5E trail byte).
const char kReport[] = "\x94\x84\x8f\xe3\x95\xf1\x8d\x90\x8f\x91_2024\x94\x4e\x93\x78.xls";
const char kPhotos[] = "\x8e\xca\x90\x5e\xcc\xab\xd9\xc0\xde";

void Capture(HWND window, std::function<void(HWND)> prepare = nullptr) {
  if (prepare) prepare(window);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Sleep(1500);
  RECT r;
  GetWindowRect(window, &r);
  FILE* file = std::fopen(rectFile.c_str(), "w");
  if (file) {
    std::fprintf(file, "%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
    std::fclose(file);
  }
  Sleep(3000);  // the script captures meanwhile
}

void Overwrite(DWORD attributes) {
  OverwriteRecord record = {};
  lstrcpyA(record.newName, attributes & FILE_ATTRIBUTE_DIRECTORY ? kPhotos : kReport);
  lstrcpyA(record.existingName, record.newName);
  record.newTime = 1704164645;
  record.newSize = 1536 * 1024 + 300;
  record.existingTime = 1000000000;
  record.existingSize = 987654;
  record.existingAttributes = attributes;
  ui::Answerer answerer([](HWND dialog) {
    Capture(dialog);
    ui::Click(dialog, IDCANCEL);
  }, 30000);
  RunOverwriteDialog(nullptr, record);
  answerer.Finish();
}

NameConflictRecord NameRecord(const char* item, const char* shown, int form) {
  NameConflictRecord record = {};
  lstrcpyA(record.itemName, item);
  lstrcpyA(record.shownName, shown);
  lstrcpyA(record.nameBuffer, item);
  record.form = form;
  return record;
}

void FolderConflict() {
  std::string shown = std::string("2024\\") + kReport;
  NameConflictRecord record = NameRecord(kReport, shown.c_str(), 1);
  ui::Answerer answerer([](HWND dialog) {
    Capture(dialog);
    ui::Click(dialog, IDCANCEL);
  }, 30000);
  RunFolderConflictDialog(nullptr, record);
  answerer.Finish();
}

void FileConflict(bool rename) {
  NameConflictRecord record = NameRecord(kReport, kReport, 0);
  ui::Answerer answerer([rename](HWND dialog) {
    Capture(dialog, [rename](HWND d) {
      if (!rename) return;
      ui::Click(d, IDC_RENAME);
      std::string renamed = std::string("(2)") + kReport;
      ui::SetText(d, IDC_NEW_NAME, renamed.c_str());
    });
    ui::Click(dialog, IDCANCEL);
  }, 30000);
  RunFileConflictDialog(nullptr, record);
  answerer.Finish();
}

BOOL CALLBACK CollectPage(HPROPSHEETPAGE page, LPARAM list) {
  reinterpret_cast<std::vector<HPROPSHEETPAGE>*>(list)->push_back(page);
  return TRUE;
}

void OptionPages(int index) {
  std::vector<HPROPSHEETPAGE> pages;
  AddOptionPages(CollectPage, reinterpret_cast<LPARAM>(&pages));
  PROPSHEETHEADERA header = {};
  header.dwSize = sizeof header;
  header.dwFlags = PSH_NOCONTEXTHELP;
  header.hInstance = ModuleInstance;
  header.pszCaption = "\x83\x49\x83\x76\x83\x56\x83\x87\x83\x93";  // "オプション"
  header.nPages = static_cast<UINT>(pages.size());
  header.phpage = pages.data();
  ui::Answerer answerer([index](HWND sheet) {
    Capture(sheet, [index](HWND s) { SendMessageA(s, PSM_SETCURSEL, index, 0); });
    PostMessageA(sheet, WM_COMMAND, IDCANCEL, 0);
  }, 30000);
  PropertySheetA(&header);
  answerer.Finish();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: dialog_gallery NAME RECT_FILE\n");
    return 2;
  }
  rectFile = argv[2];
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  LoadModuleState(GetModuleHandleA(nullptr));
  std::string name = argv[1];
  if (name == "overwrite") Overwrite(FILE_ATTRIBUTE_READONLY);
  else if (name == "overwrite-folder") Overwrite(FILE_ATTRIBUTE_DIRECTORY);
  else if (name == "folder-conflict") FolderConflict();
  else if (name == "file-conflict") FileConflict(false);
  else if (name == "file-conflict-rename") FileConflict(true);
  else if (name == "folder-options") OptionPages(0);
  else if (name == "compression-options") OptionPages(1);
  else {
    std::fprintf(stderr, "unknown dialog %s\n", name.c_str());
    return 2;
  }
  UnloadModuleState();
  return 0;
}
