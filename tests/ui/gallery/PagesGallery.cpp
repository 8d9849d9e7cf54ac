// Shows the property pages of an archive's members and of the archive file with sample data for
// scripts/screenshots.sh. Writes the sheet's screen rectangle to a file once it is drawn, then
// closes it.
//
//   pages_gallery.exe NAME RECT_FILE
//   NAME: member-page, comment-page, members-page, folder-page, archive-page
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveRewrite.h"
#include "archive/EntryEnumerator.h"
#include "commands/PropertySheets.h"
#include "namespace/ArchiveFolder.h"
#include "namespace/ModuleState.h"
#include "operations/AddFilesJob.h"
#include "resources/resource.h"
#include "ui/UiHarness.h"

namespace {

std::string rectFile;

// Sample names in Shift-JIS: "売上報告書_2024年度.xls", "写真ﾌｫﾙﾀﾞ", and the comment
// "第3四半期の確定版です。" (third-quarter final figures).
const char kReport[] = "\x94\x84\x8f\xe3\x95\xf1\x8d\x90\x8f\x91_2024\x94\x4e\x93\x78.xls";
const char kPhotos[] = "\x8e\xca\x90\x5e\xcc\xab\xd9\xc0\xde";
const char kComment[] =
    "\x91\xe6\x33\x8e\x6c\x94\xbc\x8a\xfa\x82\xcc\x8a\x6d\x92\xe8\x94\xc5\x82\xc5\x82\xb7\x81\x42";

void Capture(HWND window) {
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

void WriteSample(const std::string& path, std::size_t size) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  std::string text;
  while (text.size() < size) text += "sample line of a member\r\n";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(size), &written, nullptr);
  CloseHandle(file);
}

// A sample archive: the report (with a comment), a folder of photos and a read-me.
std::string MakeArchive(const std::string& dir) {
  std::string photos = dir + "\\" + kPhotos;
  CreateDirectoryA(dir.c_str(), nullptr);
  CreateDirectoryA(photos.c_str(), nullptr);
  WriteSample(dir + "\\" + kReport, 300000);
  WriteSample(photos + "\\IMG_0001.JPG", 120000);
  WriteSample(photos + "\\IMG_0002.JPG", 90000);
  WriteSample(dir + "\\readme.txt", 2000);
  std::string archive = dir + "\\ARC.LZH";
  WriteSample(archive, 0);
  if (AddFilesJob* job = AddFilesJob::Create(nullptr, nullptr, archive.c_str())) {
    for (const std::string& source : {dir + "\\" + kReport, photos, dir + "\\readme.txt"})
      job->AddSource(source.c_str());
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
  return archive;
}

std::vector<ItemId> Items(ArchiveFolder* folder) {
  std::vector<ItemId> items;
  IEnumIDList* enumerator = nullptr;
  if (folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, &enumerator) != S_OK)
    return items;
  LPITEMIDLIST item = nullptr;
  ULONG fetched = 0;
  while (enumerator->Next(1, &item, &fetched) == S_OK && fetched == 1) {
    items.push_back(*reinterpret_cast<const ItemId*>(item));
    CoTaskMemFree(item);
  }
  enumerator->Release();
  return items;
}

void Show(const std::string& name, const std::string& dir) {
  std::string archive = MakeArchive(dir);
  WCHAR wide[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, archive.c_str(), -1, wide, MAX_PATH);
  LPITEMIDLIST list = nullptr;
  void* out = nullptr;
  if (FAILED(SHParseDisplayName(wide, nullptr, &list, 0, nullptr)) ||
      ArchiveFolder::Create(IID_IShellFolder, &out) != S_OK)
    return;
  auto* folder = static_cast<ArchiveFolder*>(static_cast<IShellFolder*>(out));
  folder->Initialize(list);
  // Files first, then folders: the read-me, the report, the photos.
  std::vector<ItemId> items = Items(folder);
  PropertyTarget target{folder, {}};
  for (const ItemId& item : items) {
    bool report = std::strcmp(item.path, kReport) == 0;
    bool photos = std::strcmp(item.path, kPhotos) == 0;
    if (name == "members-page" || (report && name != "folder-page") ||
        (photos && name == "folder-page"))
      target.items.push_back(item);
  }
  int page = name == "comment-page" ? 1 : 0;
  ui::Answerer answerer([page](HWND sheet) {
    if (page) SendMessageA(sheet, PSM_SETCURSEL, page, 0);
    Capture(sheet);
    PostMessageA(sheet, WM_COMMAND, IDCANCEL, 0);
  }, 30000);
  if (name == "archive-page") ShowArchiveProperties(nullptr, folder);
  else if (!target.items.empty()) ShowMemberProperties(nullptr, target);
  answerer.Finish();
  folder->Release();
  CoTaskMemFree(list);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: pages_gallery NAME RECT_FILE\n");
    return 2;
  }
  rectFile = argv[2];
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  LoadModuleState(GetModuleHandleA(nullptr));
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  std::string dir = std::string(temp) + "tnpages";
  Show(argv[1], dir);
  for (const char* file : {"ARC.LZH", kReport, "readme.txt"})
    DeleteFileA((dir + "\\" + file).c_str());
  std::string photos = dir + "\\" + kPhotos;
  DeleteFileA((photos + "\\IMG_0001.JPG").c_str());
  DeleteFileA((photos + "\\IMG_0002.JPG").c_str());
  RemoveDirectoryA(photos.c_str());
  RemoveDirectoryA(dir.c_str());
  UnloadModuleState();
  return 0;
}
