#include "namespace/ModuleState.h"

#include <ole2.h>
#include <shlobj.h>

#include "archive/StringList.h"

HINSTANCE ModuleInstance = nullptr;
int IsWindows95 = 0;
int IsWindowsNT = 0;
char FolderTypeName[80] = "";
ShGetFileInfoWFunction ShGetFileInfoW = nullptr;
IMalloc* TaskAllocator = nullptr;
char TempDirectory[MAX_PATH] = "";
ClipboardFormatIds ClipboardFormats = {};

namespace {

volatile LONG objectCount = 0;
HMODULE shell32Module = nullptr;

// The half set up on first use: `ready` while it is, `users` counts the ModuleStateUse guards
// alive; both under setupLock, which the kernel's half creates.
CRITICAL_SECTION setupLock;
bool ready = false;
int users = 0;
// OLE is started once per process and never stopped: the host's thread keeps it for its life.
bool oleStarted = false;

// TempFiles: the paths in the order they were added. Guarded because a data object may be asked
// for its files on more than one thread.
CRITICAL_SECTION tempFilesLock;
StringList TempFiles;

void ReadPlatform() {
  IsWindows95 = 0;
  IsWindowsNT = 0;
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof(version);  // 148 bytes
  if (GetVersionExA(&version)) {
    if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) IsWindows95 = 1;
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) IsWindowsNT = 1;
  }
}

void ReadFolderTypeName() {
  FolderTypeName[0] = '\0';
  HKEY key;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "Directory", 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  DWORD size = sizeof(FolderTypeName);
  DWORD type = 0;
  LONG status = RegQueryValueExA(key, nullptr, nullptr, &type,
                                 reinterpret_cast<BYTE*>(FolderTypeName), &size);
  RegCloseKey(key);
  // A value that did not fit (or is not text) leaves the buffer undefined: keep it empty. One that
  // filled the buffer exactly may lack its terminator.
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
    FolderTypeName[0] = '\0';
    return;
  }
  FolderTypeName[sizeof(FolderTypeName) - 1] = '\0';
}

void ResolveWideFileInfo() {
  shell32Module = nullptr;
  ShGetFileInfoW = nullptr;
  if (!IsWindowsNT) return;
  shell32Module = LoadLibraryA("SHELL32");
  if (shell32Module)
    ShGetFileInfoW =
        reinterpret_cast<ShGetFileInfoWFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(shell32Module, "SHGetFileInfoW")));
}

void ReadTempDirectory() {
  DWORD length = GetTempPathA(MAX_PATH, TempDirectory);
  if (length == 0 || length >= MAX_PATH) TempDirectory[0] = '\0';
}

void RegisterFormats() {
  ClipboardFormats.fileName = RegisterClipboardFormatA("FileName");
  ClipboardFormats.fileNameW = RegisterClipboardFormatA("FileNameW");
  ClipboardFormats.fileNameMap = RegisterClipboardFormatA("FileNameMap");
  ClipboardFormats.fileNameMapW = RegisterClipboardFormatA("FileNameMapW");
  ClipboardFormats.fileGroupDescriptor = RegisterClipboardFormatA("FileGroupDescriptor");
  ClipboardFormats.fileGroupDescriptorW = RegisterClipboardFormatA("FileGroupDescriptorW");
  ClipboardFormats.fileContents = RegisterClipboardFormatA("FileContents");
  ClipboardFormats.shellIdListArray = RegisterClipboardFormatA("Shell IDList Array");
  ClipboardFormats.shellObjectOffsets = RegisterClipboardFormatA("Shell Object Offsets");
  ClipboardFormats.preferredDropEffect = RegisterClipboardFormatA("Preferred DropEffect");
}

void DeleteTempFileList() {
  // From the end: a folder of copies is listed before what was written into it.
  for (std::uint32_t i = TempFiles.Count(); i-- > 0;) {
    const char* path = nullptr;
    if (!TempFiles.Get(i, &path, nullptr, nullptr)) continue;
    // A decoded member may carry the read-only attribute of its header.
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileA(path)) RemoveDirectoryA(path);
  }
  TempFiles.Clear();
}

// Everything that calls into another library; runs under setupLock, never under the loader lock.
void SetUpSharedState() {
  if (!oleStarted) {
    OleInitialize(nullptr);
    oleStarted = true;
  }
  ReadFolderTypeName();
  ResolveWideFileInfo();
  TaskAllocator = nullptr;
  if (FAILED(SHGetMalloc(&TaskAllocator))) TaskAllocator = nullptr;
  RegisterFormats();
  ready = true;
}

void TearDownSharedState() {
  if (TaskAllocator) {
    TaskAllocator->Release();
    TaskAllocator = nullptr;
  }
  if (shell32Module) {
    FreeLibrary(shell32Module);
    shell32Module = nullptr;
    ShGetFileInfoW = nullptr;
  }
  ready = false;
}

}  // namespace

bool AddTempFile(const char* path) {
  if (!path) return false;
  EnterCriticalSection(&tempFilesLock);
  bool added = TempFiles.Append(path, 0, nullptr);
  LeaveCriticalSection(&tempFilesLock);
  return added;
}

int TempFileCount() {
  EnterCriticalSection(&tempFilesLock);
  int count = static_cast<int>(TempFiles.Count());
  LeaveCriticalSection(&tempFilesLock);
  return count;
}

void IncrementObjectCount() { InterlockedIncrement(&objectCount); }
void DecrementObjectCount() { InterlockedDecrement(&objectCount); }
LONG ObjectCount() { return InterlockedCompareExchange(&objectCount, 0, 0); }

void AttachModuleState(HINSTANCE instance) {
  ModuleInstance = instance;
  InitializeCriticalSection(&tempFilesLock);
  InitializeCriticalSection(&setupLock);
  ready = false;
  users = 0;
  ReadPlatform();
  ReadTempDirectory();
  TempFiles.Init();
}

void DetachModuleState(bool terminating) {
  if (!terminating) {
    EnterCriticalSection(&tempFilesLock);
  } else if (!TryEnterCriticalSection(&tempFilesLock)) {
    return;  // held by a thread the exit already ended: the list may be half changed
  }
  DeleteTempFileList();
  LeaveCriticalSection(&tempFilesLock);
  if (terminating) return;
  // Releasing the allocator or SHELL32 here would call other libraries under the loader lock; a
  // host that unloads without asking DllCanUnloadNow leaves them referenced, which is harmless.
  TaskAllocator = nullptr;
  ShGetFileInfoW = nullptr;
  shell32Module = nullptr;
  ready = false;
  DeleteCriticalSection(&setupLock);
  DeleteCriticalSection(&tempFilesLock);
}

ModuleStateUse::ModuleStateUse() {
  EnterCriticalSection(&setupLock);
  ++users;
  if (!ready) SetUpSharedState();
  LeaveCriticalSection(&setupLock);
}

ModuleStateUse::~ModuleStateUse() {
  EnterCriticalSection(&setupLock);
  --users;
  LeaveCriticalSection(&setupLock);
}

bool ReleaseUnusedModuleState() {
  EnterCriticalSection(&setupLock);
  bool unused = users == 0 && ObjectCount() == 0;
  if (unused && ready) TearDownSharedState();
  LeaveCriticalSection(&setupLock);
  return unused;
}

void LoadModuleState(HINSTANCE instance) {
  AttachModuleState(instance);
  ModuleStateUse use;
}

void UnloadModuleState() {
  EnterCriticalSection(&setupLock);
  if (ready) TearDownSharedState();
  LeaveCriticalSection(&setupLock);
  DetachModuleState(false);
}
