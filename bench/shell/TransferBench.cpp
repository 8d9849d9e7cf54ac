// Cost of carrying members out of an archive, timed inside this process on both sides so that
// process start-up counts on neither: the clipboard data object for every item of the archive's
// top folder (folders stand for all their files) against the engine's extraction that tnlzh's
// "x" runs, over the same archive and file system. Best of RUNS runs of each:
//   - creation alone (walks the catalogue),
//   - creation plus the first CF_HDROP request (decodes and writes every copy) against
//     extracting the whole archive,
//   - "FileContents" of the first member against extracting that member to a file.
// THREADS decode ahead on both sides (0, the default: one per core, as the shell and tnlzh run).
//   transfer_bench ARCHIVE WORK_FOLDER [RUNS [THREADS]]
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/Extract.h"
#include "namespace/ArchiveFolder.h"
#include "namespace/ModuleState.h"
#include "operations/ArchiveDataObject.h"
#include "operations/TempCopy.h"

namespace {

double Now() {
  LARGE_INTEGER frequency, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  return double(now.QuadPart) / double(frequency.QuadPart);
}

struct Selection {
  ArchiveFolder* folder = nullptr;
  std::vector<LPITEMIDLIST> items;
};

IDataObject* MakeObject(Selection& selection, unsigned threads) {
  void* object = nullptr;
  ArchiveDataObject::Create(selection.folder, static_cast<UINT>(selection.items.size()),
                            const_cast<LPCITEMIDLIST*>(selection.items.data()),
                            ArchiveDataObject::DragMode, IID_IDataObject, &object, threads);
  return static_cast<IDataObject*>(object);
}

// Seconds for GetData of `format` (index for "FileContents"), or -1; the medium is released.
bool Request(IDataObject* object, UINT format, LONG index) {
  FORMATETC request = {static_cast<CLIPFORMAT>(format), nullptr, DVASPECT_CONTENT, index,
                       TYMED_HGLOBAL};
  STGMEDIUM medium = {};
  if (object->GetData(&request, &medium) != S_OK) return false;
  ReleaseStgMedium(&medium);
  return true;
}

void Forget(IDataObject* object) {
  const std::string folder = static_cast<ArchiveDataObject*>(object)->TemporaryFolder();
  object->Release();
  if (!folder.empty()) RemoveTempFolder(folder.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 5) {
    std::fprintf(stderr, "usage: transfer_bench ARCHIVE WORK_FOLDER [RUNS [THREADS]]\n");
    return 2;
  }
  const int runs = argc >= 4 ? std::atoi(argv[3]) : 5;
  ExtractOptions options;
  options.threads = argc == 5 ? static_cast<unsigned>(std::atoi(argv[4])) : 0;
  const std::string work = std::string(argv[2]) + "\\";
  // Wine takes TEMP from its registry, not from the caller's environment.
  SetEnvironmentVariableA("TEMP", argv[2]);
  SetEnvironmentVariableA("TMP", argv[2]);
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
  Selection selection;
  selection.folder = static_cast<ArchiveFolder*>(static_cast<IShellFolder*>(out));
  selection.folder->Initialize(list);
  IEnumIDList* enumerator = nullptr;
  selection.folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, &enumerator);
  for (LPITEMIDLIST item = nullptr; enumerator && enumerator->Next(1, &item, nullptr) == S_OK;)
    selection.items.push_back(item);
  if (enumerator) enumerator->Release();

  double create = 1e9, drop = 1e9, extract = 1e9, contents = 1e9, member = 1e9;
  std::size_t copies = 0;
  for (int run = 0; run < runs; ++run) {
    double start = Now();
    IDataObject* object = MakeObject(selection, options.threads);
    if (!object) return 1;
    create = std::min(create, Now() - start);
    Forget(object);

    start = Now();
    object = MakeObject(selection, options.threads);
    if (!Request(object, CF_HDROP, -1)) return 1;
    drop = std::min(drop, Now() - start);
    copies = static_cast<ArchiveDataObject*>(object)->TemporaryPaths().size();
    start = Now();
    if (!Request(object, ClipboardFormats.fileContents, 0)) {
      Forget(object);
      object = nullptr;
    } else {
      contents = std::min(contents, Now() - start);
    }
    if (object) Forget(object);

    // The same work through the engine, as tnlzh's "x" does it.
    const std::string target = work + "x" + std::to_string(run);
    CreateDirectoryA(target.c_str(), nullptr);
    start = Now();
    Archive* archive = new Archive();
    archive->Retain();
    ExtractCounts counts;
    const bool extracted =
        archive->OpenFile(full) == ResultOk && ExtractEntries(*archive, target.c_str(), options, &counts);
    extract = std::min(extract, Now() - start);
    // One member: the first file member of the catalogue.
    ArchiveEntry entry;
    bool found = false;
    std::uint32_t index = 0;
    if (archive->Lock(false)) {
      for (; !found && index < archive->MemberCount(); ++index)
        found = archive->GetMember(index, &entry) && !IsFolderMember(entry) && entry.name[0];
      archive->Unlock();
    }
    const std::string one = target + "\\one.bin";
    OverwriteState state = OverwriteState::ReplaceAll;
    start = Now();
    if (found && ExtractMemberToFile(*archive, index - 1, entry, target.c_str(), one.c_str(),
                                     nullptr, nullptr, &state))
      member = std::min(member, Now() - start);
    archive->Release();
    RemoveTempFolder((target + "\\").c_str());
    if (!extracted) return 1;
  }
  std::printf("%s: %zu top-level copies\n", argv[1], copies);
  std::printf("  create                   %8.4f s\n", create);
  std::printf("  create + CF_HDROP        %8.4f s   extract all %8.4f s   ratio %.2f\n", drop,
              extract, drop / extract);
  // Item 0 of a selection that starts with a folder has no contents to time.
  if (contents < 1e9)
    std::printf("  FileContents of item 0   %8.4f s   extract one %8.4f s   ratio %.2f\n", contents,
                member, contents / member);
  for (LPITEMIDLIST item : selection.items) CoTaskMemFree(item);
  selection.folder->Release();
  CoTaskMemFree(list);
  UnloadModuleState();
  return 0;
}
