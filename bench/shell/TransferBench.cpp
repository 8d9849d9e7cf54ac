// Cost of carrying members out of an archive: creates the clipboard data object for every item
// of the archive's top folder (folders stand for all their files), which decodes each member and
// writes its temporary copy, and prints how long that took. The copies stay for the caller to
// remove, so that the process's time is the creation's (as tnlzh's is the extraction's).
//   transfer_bench ARCHIVE [TEMPORARY_FOLDER]
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

#include "namespace/ArchiveFolder.h"
#include "namespace/ModuleState.h"
#include "operations/ArchiveDataObject.h"

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: transfer_bench ARCHIVE [TEMPORARY_FOLDER]\n");
    return 2;
  }
  // Wine takes TEMP from its registry, not from the caller's environment.
  if (argc == 3) {
    SetEnvironmentVariableA("TEMP", argv[2]);
    SetEnvironmentVariableA("TMP", argv[2]);
  }
  CoInitialize(nullptr);
  LoadModuleState(GetModuleHandleA(nullptr));
  WCHAR wide[MAX_PATH];
  char full[MAX_PATH];
  GetFullPathNameA(argv[1], sizeof full, full, nullptr);
  MultiByteToWideChar(CP_ACP, 0, full, -1, wide, MAX_PATH);
  LPITEMIDLIST list = nullptr;
  void* out = nullptr;
  if (FAILED(SHParseDisplayName(wide, nullptr, &list, 0, nullptr)) ||
      ArchiveFolder::Create(IID_IShellFolder, &out) != S_OK) {
    std::fprintf(stderr, "transfer_bench: cannot open %s\n", full);
    return 1;
  }
  auto* folder = static_cast<ArchiveFolder*>(static_cast<IShellFolder*>(out));
  folder->Initialize(list);
  IEnumIDList* enumerator = nullptr;
  folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, &enumerator);
  std::vector<LPITEMIDLIST> items;
  for (LPITEMIDLIST item = nullptr; enumerator && enumerator->Next(1, &item, nullptr) == S_OK;)
    items.push_back(item);
  if (enumerator) enumerator->Release();

  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  void* object = nullptr;
  HRESULT made = ArchiveDataObject::Create(folder, static_cast<UINT>(items.size()),
                                           const_cast<LPCITEMIDLIST*>(items.data()),
                                           ArchiveDataObject::ClipboardMode, IID_IDataObject,
                                           &object);
  QueryPerformanceCounter(&end);
  if (made != S_OK) return 1;
  auto* data = static_cast<ArchiveDataObject*>(static_cast<IDataObject*>(object));
  std::printf("%zu copies in %.3f s\n", data->TemporaryPaths().size(),
              double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart));
  data->Release();
  for (LPITEMIDLIST item : items) CoTaskMemFree(item);
  folder->Release();
  CoTaskMemFree(list);
  return 0;
}
