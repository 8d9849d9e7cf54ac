// Shows the dialogs of adding files with sample data for scripts/screenshots.sh: the progress
// dialog (128) in the middle of a file, and the archive file's summary page (126) in its sheet.
// Writes the window's screen rectangle to a file once it is drawn, then closes it.
//
//   adding_gallery.exe NAME RECT_FILE      NAME: progress, summary
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <cstdio>
#include <string>
#include <vector>

#include "commands/ArchiveFileExtension.h"
#include "dll/DropTestSupport.h"
#include "namespace/ModuleState.h"
#include "namespace/ResourceText.h"
#include "operations/AddFilesJob.h"
#include "operations/ProgressDialog.h"
#include "resources/resource.h"
#include "ui/UiHarness.h"

namespace {

std::string rectFile;

// Sample names in Shift-JIS: "売上報告書_2024年度.xls", "写真ﾌｫﾙﾀﾞ".
const char kReport[] = "\x94\x84\x8f\xe3\x95\xf1\x8d\x90\x8f\x91_2024\x94\x4e\x93\x78.xls";
const char kPhotos[] = "\x8e\xca\x90\x5e\xcc\xab\xd9\xc0\xde";

void Capture(HWND window) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  droptest::PumpUntil([] { return false; }, 1500);
  RECT r;
  GetWindowRect(window, &r);
  FILE* file = std::fopen(rectFile.c_str(), "w");
  if (file) {
    std::fprintf(file, "%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
    std::fclose(file);
  }
  droptest::PumpUntil([] { return false; }, 3000);  // the script captures meanwhile
}

void Progress() {
  auto shared = std::make_shared<ProgressShared>();
  char pattern[64], fromTo[MAX_PATH];
  LoadLibraryString(IDS_FROM_TO, pattern, sizeof pattern);
  wsprintfA(fromTo, pattern, kPhotos, "ARC.LZH");
  shared->SetTexts(kReport, fromTo);
  shared->itemSize = 4000000;
  ProgressDialog dialog;
  if (!dialog.Open(nullptr, shared)) return;
  if (!droptest::PumpUntil([&] { return shared->window.load() != nullptr; }, 10000)) return;
  HWND window = shared->window.load();
  // 2.6 MB of 4 MB read, packed to 38 %.
  PostMessageA(window, ProgressMessage, 988000, 2600000);
  Capture(window);
  dialog.Close();
}

BOOL CALLBACK CollectPage(HPROPSHEETPAGE page, LPARAM pages) {
  reinterpret_cast<std::vector<HPROPSHEETPAGE>*>(pages)->push_back(page);
  return TRUE;
}

void WriteSample(const std::string& path, std::size_t size) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  std::string text;
  while (text.size() < size) text += "sample line of a member\r\n";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(size), &written, nullptr);
  CloseHandle(file);
}

void Summary() {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  std::string dir = std::string(temp) + "tngallery";
  std::string photos = dir + "\\" + kPhotos;
  CreateDirectoryA(dir.c_str(), nullptr);
  CreateDirectoryA(photos.c_str(), nullptr);
  WriteSample(dir + "\\" + kReport, 300000);
  WriteSample(photos + "\\IMG_0001.JPG", 120000);
  WriteSample(photos + "\\IMG_0002.JPG", 90000);
  WriteSample(dir + "\\readme.txt", 2000);
  std::string archive = dir + "\\ARC.LZH";
  WriteSample(archive, 0);
  AddFilesJob* job = AddFilesJob::Create(nullptr, nullptr, archive.c_str());
  if (!job) return;
  for (const std::string& source : {dir + "\\" + kReport, photos, dir + "\\readme.txt"})
    job->AddSource(source.c_str());
  job->Run();
  delete job;

  auto* data = new droptest::FileDropData({archive});
  data->AddRef();
  IShellExtInit* init = nullptr;
  ArchiveFileExtension::Create(IID_IShellExtInit, reinterpret_cast<void**>(&init));
  init->Initialize(nullptr, data, nullptr);
  IShellPropSheetExt* sheetExtension = nullptr;
  init->QueryInterface(IID_IShellPropSheetExt, reinterpret_cast<void**>(&sheetExtension));
  std::vector<HPROPSHEETPAGE> pages;
  sheetExtension->AddPages(CollectPage, reinterpret_cast<LPARAM>(&pages));
  sheetExtension->Release();
  init->Release();
  data->Release();
  PROPSHEETHEADERA header = {};
  header.dwSize = sizeof header;
  header.dwFlags = PSH_NOCONTEXTHELP | PSH_NOAPPLYNOW;
  header.pszCaption = "ARC.LZH\x82\xcc\xcc\xdf\xdb\xca\xdf\xc3\xa8";  // "ARC.LZHのﾌﾟﾛﾊﾟﾃｨ"
  header.nPages = static_cast<UINT>(pages.size());
  header.phpage = pages.data();
  ui::Answerer answerer([](HWND sheet) {
    Capture(sheet);
    PostMessageA(sheet, WM_COMMAND, IDCANCEL, 0);
  }, 30000);
  PropertySheetA(&header);
  answerer.Finish();
  for (const std::string& file : {archive, dir + "\\" + kReport, photos + "\\IMG_0001.JPG",
                                  photos + "\\IMG_0002.JPG", dir + "\\readme.txt"})
    DeleteFileA(file.c_str());
  RemoveDirectoryA(photos.c_str());
  RemoveDirectoryA(dir.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: adding_gallery NAME RECT_FILE\n");
    return 2;
  }
  rectFile = argv[2];
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  LoadModuleState(GetModuleHandleA(nullptr));
  std::string name = argv[1];
  if (name == "progress") Progress();
  else if (name == "summary") Summary();
  else return 2;
  UnloadModuleState();
  return 0;
}
