// tnbrowse ARCHIVE [--view list|details|icons|small] [--close-after SECONDS]
//          [--dll PATH | --registered]
//
// Shows an archive the way the shell does: loads tanufold, asks its class factory for a folder,
// initialises the folder with the archive file's identifier list and shows the folder's view in a
// frame window that acts as the shell's browser. Everything about the archive is the library's.
// Without --view the view starts in the mode of the library's "DefaultView" setting.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "browse/ArchiveOpener.h"
#include "browse/BrowserFrame.h"

namespace {

// The archive file's icon: resource 100 of the library, which the installer registers as the
// icon of the archive type.
constexpr int ArchiveIconResource = 100;

struct ViewName {
  const char* name;
  UINT mode;
};
constexpr ViewName ViewNames[] = {
    {"icons", FVM_ICON}, {"small", FVM_SMALLICON}, {"list", FVM_LIST}, {"details", FVM_DETAILS}};

int Usage() {
  std::fprintf(stderr,
               "usage: tnbrowse ARCHIVE [--view list|details|icons|small] "
               "[--close-after SECONDS] [--dll PATH | --registered]\n");
  return 2;
}

void SetWindowIcons(HWND window, HMODULE library) {
  for (int which : {ICON_BIG, ICON_SMALL}) {
    int side = GetSystemMetrics(which == ICON_BIG ? SM_CXICON : SM_CXSMICON);
    HANDLE icon = LoadImageA(library, MAKEINTRESOURCEA(ArchiveIconResource), IMAGE_ICON, side,
                             side, LR_DEFAULTCOLOR | LR_SHARED);
    if (icon) SendMessageA(window, WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
  }
}

}  // namespace

int main(int argc, char** argv) {
  const char* archive = nullptr;
  const char* dll = nullptr;
  bool registered = false;  // through the class the installer registered
  int closeAfter = 0;
  UINT viewMode = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--close-after") == 0 && i + 1 < argc) {
      closeAfter = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--registered") == 0) {
      registered = true;
    } else if (std::strcmp(argv[i], "--dll") == 0 && i + 1 < argc) {
      dll = argv[++i];
    } else if (std::strcmp(argv[i], "--view") == 0 && i + 1 < argc) {
      const char* name = argv[++i];
      viewMode = 0;
      for (const ViewName& view : ViewNames)
        if (std::strcmp(name, view.name) == 0) viewMode = view.mode;
      if (!viewMode) return Usage();
    } else if (!archive && argv[i][0] != '-') {
      archive = argv[i];
    } else {
      return Usage();
    }
  }
  if (!archive) return Usage();
  OleInitialize(nullptr);

  int status = 0;
  {
    OpenedArchive opened;
    const char* failure = "";
    HRESULT result = registered ? OpenRegisteredArchive(archive, &opened, &failure)
                                : OpenArchive(dll, archive, &opened, &failure);
    BrowserFrame frame;
    if (FAILED(result)) {
      std::fprintf(stderr, "tnbrowse: %s (0x%08lX)\n", failure,
                   static_cast<unsigned long>(result));
      status = 1;
    } else if (!frame.Open(opened.folder, opened.list, opened.name, viewMode, SW_SHOWNORMAL)) {
      std::fprintf(stderr, "tnbrowse: the folder's view could not be shown\n");
      status = 1;
    } else {
      SetWindowIcons(frame.Window(), opened.library);
      if (closeAfter > 0) SetTimer(nullptr, 0, static_cast<UINT>(closeAfter) * 1000, nullptr);
      MSG message;
      while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && !message.hwnd) {
          PostMessageA(frame.Window(), WM_CLOSE, 0, 0);
          continue;
        }
        if (frame.PreTranslate(&message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
      }
    }
  }
  OleUninitialize();
  return status;
}
