// tnbrowse ARCHIVE [--close-after SECONDS] [--dll PATH]
//
// Shows an archive the way the shell does: loads tanufold, asks its class factory for a folder,
// initialises the folder with the archive file's identifier list and shows the folder's view in a
// frame window that acts as the shell's browser. Everything about the archive is the library's.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "browse/BrowserFrame.h"
#include "namespace/ClassId.h"

namespace {

using GetClassObjectFunction = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

int Fail(const char* what, HRESULT result) {
  std::fprintf(stderr, "tnbrowse: %s (0x%08lX)\n", what, static_cast<unsigned long>(result));
  return 1;
}

// tanufold.dll beside this program, unless a path is given.
HMODULE LoadLibraryModule(const char* given) {
  if (given) return LoadLibraryA(given);
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length > 0 && length < sizeof path) {
    char* slash = std::strrchr(path, '\\');
    if (slash && static_cast<std::size_t>(slash + 1 - path) + 13 < sizeof path) {
      std::strcpy(slash + 1, "tanufold.dll");
      if (HMODULE module = LoadLibraryA(path)) return module;
    }
  }
  return LoadLibraryA("tanufold.dll");
}

// The shell's identifier list of a file, from the desktop's parser.
LPITEMIDLIST FileIdList(const char* path) {
  char full[MAX_PATH];
  DWORD length = GetFullPathNameA(path, sizeof full, full, nullptr);
  if (length == 0 || length >= sizeof full) return nullptr;
  wchar_t wide[MAX_PATH];
  if (!MultiByteToWideChar(CP_ACP, 0, full, -1, wide, MAX_PATH)) return nullptr;
  IShellFolder* desktop = nullptr;
  if (FAILED(SHGetDesktopFolder(&desktop))) return nullptr;
  LPITEMIDLIST list = nullptr;
  ULONG eaten = 0;
  if (FAILED(desktop->ParseDisplayName(nullptr, nullptr, wide, &eaten, &list, nullptr)))
    list = nullptr;
  desktop->Release();
  return list;
}

}  // namespace

int main(int argc, char** argv) {
  const char* archive = nullptr;
  const char* dll = nullptr;
  int closeAfter = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--close-after") == 0 && i + 1 < argc) {
      closeAfter = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--dll") == 0 && i + 1 < argc) {
      dll = argv[++i];
    } else if (!archive) {
      archive = argv[i];
    } else {
      archive = nullptr;
      break;
    }
  }
  if (!archive) {
    std::fprintf(stderr, "usage: tnbrowse ARCHIVE [--close-after SECONDS] [--dll PATH]\n");
    return 2;
  }
  OleInitialize(nullptr);
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);

  HMODULE library = LoadLibraryModule(dll);
  if (!library) return Fail("cannot load tanufold.dll", HRESULT_FROM_WIN32(GetLastError()));
  auto getClassObject = reinterpret_cast<GetClassObjectFunction>(
      reinterpret_cast<void*>(GetProcAddress(library, "DllGetClassObject")));
  if (!getClassObject) return Fail("tanufold.dll has no DllGetClassObject", E_FAIL);

  IClassFactory* factory = nullptr;
  HRESULT result = getClassObject(CLSID_Tanuvia, IID_IClassFactory,
                                  reinterpret_cast<void**>(&factory));
  if (FAILED(result)) return Fail("no class factory", result);
  IShellFolder* folder = nullptr;
  result = factory->CreateInstance(nullptr, IID_IShellFolder, reinterpret_cast<void**>(&folder));
  factory->Release();
  if (FAILED(result)) return Fail("the factory made no folder", result);

  LPITEMIDLIST list = FileIdList(archive);
  if (!list) return Fail("the archive path has no identifier list", E_INVALIDARG);
  IPersistFolder* persist = nullptr;
  result = folder->QueryInterface(IID_IPersistFolder, reinterpret_cast<void**>(&persist));
  if (SUCCEEDED(result)) {
    result = persist->Initialize(list);
    persist->Release();
  }
  if (FAILED(result)) return Fail("the folder did not initialise", result);

  int status = 0;
  {
    BrowserFrame frame;
    char title[MAX_PATH];
    GetFullPathNameA(archive, sizeof title, title, nullptr);
    if (!frame.Open(folder, list, title, SW_SHOWNORMAL)) {
      status = Fail("the folder's view could not be shown", E_FAIL);
    } else {
      if (closeAfter > 0) SetTimer(nullptr, 0, static_cast<UINT>(closeAfter) * 1000, nullptr);
      MSG message;
      while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && !message.hwnd) {
          PostMessageA(frame.Window(), WM_CLOSE, 0, 0);
          continue;
        }
        if (frame.TranslateViewAccelerator(&message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
      }
    }
  }
  folder->Release();
  CoTaskMemFree(list);
  return status;
}
