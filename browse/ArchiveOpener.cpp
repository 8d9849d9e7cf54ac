#include "browse/ArchiveOpener.h"

#include <cstring>

#include "archive/PathName.h"
#include "namespace/ClassId.h"

namespace {

using GetClassObjectFunction = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

// tanufold.dll beside this program, unless a path is given.
HMODULE LoadLibraryModule(const char* given) {
  if (given) return LoadLibraryA(given);
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length > 0 && length < sizeof path) {
    std::size_t folder = PathFolderLength(path, PathKind::Disk);
    path[folder] = '\0';
    if (folder > 0 && JoinPath(path, sizeof path, path, "tanufold.dll", PathKind::Disk)) {
      if (HMODULE module = LoadLibraryA(path)) return module;
    }
  }
  return LoadLibraryA("tanufold.dll");
}

// The shell's identifier list of a file, from the desktop's parser.
LPITEMIDLIST FileIdList(const char* full) {
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

HRESULT Fail(const char* what, HRESULT result, const char** failure) {
  if (failure) *failure = what;
  return FAILED(result) ? result : E_FAIL;
}

}  // namespace

OpenedArchive::~OpenedArchive() {
  if (folder) folder->Release();
  if (list) CoTaskMemFree(list);
}

namespace {

// Points the new folder at the archive file, as the shell does: IPersistFolder::Initialize with
// the file's absolute identifier list.
HRESULT InitializeFolder(const char* archive, OpenedArchive* out, const char** failure) {
  char full[MAX_PATH];
  char* name = nullptr;
  DWORD length = GetFullPathNameA(archive, sizeof full, full, &name);
  if (length == 0 || length >= sizeof full || !name)
    return Fail("the archive path is not a file path", E_INVALIDARG, failure);
  std::strcpy(out->name, name);
  out->list = FileIdList(full);
  if (!out->list) return Fail("the archive path has no identifier list", E_INVALIDARG, failure);

  IPersistFolder* persist = nullptr;
  HRESULT result =
      out->folder->QueryInterface(IID_IPersistFolder, reinterpret_cast<void**>(&persist));
  if (SUCCEEDED(result)) {
    result = persist->Initialize(out->list);
    persist->Release();
  }
  if (FAILED(result)) return Fail("the folder did not initialise", result, failure);
  return S_OK;
}

}  // namespace

HRESULT OpenArchive(const char* dll, const char* archive, OpenedArchive* out,
                    const char** failure) {
  HMODULE library = LoadLibraryModule(dll);
  if (!library) return Fail("cannot load tanufold.dll", HRESULT_FROM_WIN32(GetLastError()), failure);
  out->library = library;
  auto getClassObject = reinterpret_cast<GetClassObjectFunction>(
      reinterpret_cast<void*>(GetProcAddress(library, "DllGetClassObject")));
  if (!getClassObject) return Fail("tanufold.dll has no DllGetClassObject", E_FAIL, failure);

  IClassFactory* factory = nullptr;
  HRESULT result = getClassObject(CLSID_Tanuvia, IID_IClassFactory,
                                  reinterpret_cast<void**>(&factory));
  if (FAILED(result)) return Fail("no class factory", result, failure);
  result = factory->CreateInstance(nullptr, IID_IShellFolder,
                                   reinterpret_cast<void**>(&out->folder));
  factory->Release();
  if (FAILED(result)) return Fail("the factory made no folder", result, failure);
  return InitializeFolder(archive, out, failure);
}

HRESULT OpenRegisteredArchive(const char* archive, OpenedArchive* out, const char** failure) {
  HRESULT result = CoCreateInstance(CLSID_Tanuvia, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IShellFolder, reinterpret_cast<void**>(&out->folder));
  if (FAILED(result))
    return Fail("the class is not registered (install with tnsetup first)", result, failure);
  out->library = GetModuleHandleA("tanufold.dll");  // loaded by COM; for the window's icons
  return InitializeFolder(archive, out, failure);
}
