// Shows one dialog of the shell library with sample data, writes its screen rectangle to a file
// once it is drawn, and closes it again a few seconds later. scripts/screenshots.sh runs it under
// Xvfb and captures the rectangle.
//
//   dialog_gallery.exe NAME RECT_FILE
//   NAME: overwrite, overwrite-folder, folder-conflict, file-conflict, file-conflict-rename,
//         folder-options, compression-options,
//         member-page, comment-page, members-page, folder-page, archive-page, level0-question,
//         commit-refused
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveRewrite.h"
#include "archive/EntryEnumerator.h"
#include "commands/PropertySheets.h"
#include "namespace/ArchiveFolder.h"
#include "namespace/ModuleState.h"
#include "namespace/OptionPages.h"
#include "operations/AddFilesJob.h"
#include "operations/ConfirmationDialogs.h"
#include "resources/resource.h"
#include "ui/UiHarness.h"

namespace {

std::string rectFile;

// Sample names in Shift-JIS: "売上報告書_2024年度.xls", "写真ﾌｫﾙﾀﾞ" (0x5E trail byte).
const char kReport[] = "\x94\x84\x8f\xe3\x95\xf1\x8d\x90\x8f\x91_2024\x94\x4e\x93\x78.xls";
const char kPhotos[] = "\x8e\xca\x90\x5e\xcc\xab\xd9\xc0\xde";
// "第3四半期の確定版です。" (third-quarter final figures), a member's comment.
const char kComment[] =
    "\x91\xe6\x33\x8e\x6c\x94\xbc\x8a\xfa\x82\xcc\x8a\x6d\x92\xe8\x94\xc5\x82\xc5\x82\xb7\x81\x42";


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

// The sample files of the property pages below `dir`, with their sizes: the report, two photos
// in their folder and a read-me.
std::vector<std::pair<std::string, std::size_t>> SampleFiles(const std::string& dir) {
  std::string photos = dir + "\\" + kPhotos + "\\";
  return {{dir + "\\" + kReport, 300000},
          {photos + "IMG_0001.JPG", 120000},
          {photos + "IMG_0002.JPG", 90000},
          {dir + "\\readme.txt", 2000}};
}

// A sample archive of the files, the report with a comment.
void MakeArchive(const std::string& dir, const std::string& archive) {
  CreateDirectoryA(dir.c_str(), nullptr);
  CreateDirectoryA((dir + "\\" + kPhotos).c_str(), nullptr);
  for (const auto& sample : SampleFiles(dir)) {
    std::string text;
    while (text.size() < sample.second) text += "sample line of a member\r\n";
    HANDLE file = CreateFileA(sample.first.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                              nullptr);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(sample.second), &written, nullptr);
    CloseHandle(file);
  }
  CloseHandle(CreateFileA(archive.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (AddFilesJob* job = AddFilesJob::Create(nullptr, nullptr, archive.c_str())) {
    for (const char* source : {kReport, kPhotos, "readme.txt"})
      job->AddSource((dir + "\\" + source).c_str());
    job->Run();
    delete job;
  }
  auto* other = new Archive;
  other->Retain();
  other->OpenFile(archive.c_str());
  if (EntryEnumerator* snapshot = other->EnumEntries()) {
    ArchiveEntry entry;
    if (snapshot->FindEntry(kReport, &entry)) {
      lstrcpyA(entry.comment, kComment);
      if (StageEntry(*other, kReport, entry)) Commit(*other);
    }
    snapshot->Release();
  }
  other->Release();
}

// The sheet `name` of the sample archive: the report's two pages, all three items, the photos'
// folder or the archive file.
void ShowSheet(const std::string& name, const std::string& archive) {
  WCHAR wide[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, archive.c_str(), -1, wide, MAX_PATH);
  LPITEMIDLIST list = nullptr;
  void* out = nullptr;
  if (FAILED(SHParseDisplayName(wide, nullptr, &list, 0, nullptr))) return;
  if (ArchiveFolder::Create(IID_IShellFolder, &out) != S_OK) {
    CoTaskMemFree(list);
    return;
  }
  auto* folder = static_cast<ArchiveFolder*>(static_cast<IShellFolder*>(out));
  folder->Initialize(list);
  PropertyTarget target{folder, {}};
  IEnumIDList* enumerator = nullptr;
  if (folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, &enumerator) == S_OK) {
    const char* wanted = name == "folder-page" ? kPhotos : kReport;
    LPITEMIDLIST item = nullptr;
    ULONG fetched = 0;
    while (enumerator->Next(1, &item, &fetched) == S_OK && fetched == 1) {
      const ItemId& id = *reinterpret_cast<const ItemId*>(item);
      if (name == "members-page" || std::strcmp(id.path, wanted) == 0) target.items.push_back(id);
      CoTaskMemFree(item);
    }
    enumerator->Release();
  }
  int page = name == "comment-page" ? 1 : 0;
  ui::Answerer answerer([&](HWND sheet) {
    if (name == "level0-question" || name == "commit-refused") {
      // The message box a page puts up when OK is pressed.
      HWND member = ui::CurrentPage(sheet);
      if (name == "level0-question") {
        ui::ChooseComboEntry(member, IDC_HEADER_LEVEL, 0);
      } else {
        SendDlgItemMessageA(member, IDC_PAGE_READ_ONLY, BM_SETCHECK, BST_CHECKED, 0);
        ui::Command(member, IDC_PAGE_READ_ONLY);
      }
      PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
      HWND box = nullptr;
      for (int i = 0; i < 500 && !box; ++i) {
        Sleep(20);
        box = ui::FindOtherDialog(sheet);
      }
      if (box) {
        Capture(box);
        ui::Click(box, name == "level0-question" ? IDCANCEL : IDOK);
      }
      if (box && IsWindow(box)) PostMessageA(box, WM_CLOSE, 0, 0);
    } else {
      Capture(sheet, [page](HWND s) { SendMessageA(s, PSM_SETCURSEL, page, 0); });
    }
    PostMessageA(sheet, WM_COMMAND, IDCANCEL, 0);
  }, 30000);
  // Another process holds the archive locked while the page applies.
  HANDLE holder = CreateFileA(archive.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  if (name == "commit-refused") LockFile(holder, 0, 0, 0xFFFFFFFF, 0);
  if (name == "archive-page") ShowArchiveProperties(nullptr, folder);
  else ShowMemberProperties(nullptr, target);
  answerer.Finish();
  UnlockFile(holder, 0, 0, 0xFFFFFFFF, 0);
  CloseHandle(holder);
  folder->Release();
  CoTaskMemFree(list);
}

void PropertyPages(const std::string& name) {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  std::string dir = std::string(temp) + "tnpages";
  std::string archive = dir + "\\ARC.LZH";
  MakeArchive(dir, archive);
  ShowSheet(name, archive);
  DeleteFileA(archive.c_str());
  for (const auto& sample : SampleFiles(dir)) DeleteFileA(sample.first.c_str());
  RemoveDirectoryA((dir + "\\" + kPhotos).c_str());
  RemoveDirectoryA(dir.c_str());
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
  else if (name.size() > 5 && name.compare(name.size() - 5, 5, "-page") == 0) PropertyPages(name);
  else if (name == "level0-question" || name == "commit-refused") PropertyPages(name);
  else {
    std::fprintf(stderr, "unknown dialog %s\n", name.c_str());
    return 2;
  }
  UnloadModuleState();
  return 0;
}
