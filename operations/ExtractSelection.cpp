#include "operations/ExtractSelection.h"

#include <cstring>

#include "archive/Archive.h"
#include "archive/EntryEnumerator.h"
#include "archive/Extract.h"
#include "archive/NoCase.h"
#include "archive/PathName.h"
#include "archive/TargetPath.h"
#include "namespace/ItemId.h"
#include "namespace/ModuleState.h"
#include "operations/ConfirmationDialogs.h"
#include "resources/resource.h"

namespace {

struct Extraction {
  Archive* archive;
  HWND owner;
  const char* target;        // the chosen folder
  std::size_t innerLength;   // bytes of the view's folder path, cut from every member path
  OverwriteState state = OverwriteState::Ask;
};

bool PickFolder(HWND owner, char (&folder)[MAX_PATH]) {
  char title[MAX_PATH] = "";
  LoadStringA(ModuleInstance, IDS_CHOOSE_EXTRACT_FOLDER, title, sizeof title);
  BROWSEINFOA info = {};
  info.hwndOwner = owner;
  info.pszDisplayName = nullptr;
  info.lpszTitle = title;
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  LPITEMIDLIST chosen = SHBrowseForFolderA(&info);
  if (!chosen) return false;
  folder[0] = '\0';
  BOOL havePath = SHGetPathFromIDListA(chosen, folder);
  if (TaskAllocator) TaskAllocator->Free(chosen);
  else CoTaskMemFree(chosen);
  return havePath && folder[0];
}

// The member's path below the view's folder, or null when it does not lie there.
const char* Relative(const Extraction& job, const char* memberPath) {
  if (std::strlen(memberPath) <= job.innerLength) return nullptr;
  return memberPath + job.innerLength;
}

// Writes one member; the target path goes through the engine's guard, so a stored path with ".."
// components, a drive or a root never lands outside the chosen folder.
void ExtractOne(Extraction& job, std::uint32_t index, const ArchiveEntry& entry,
                const char* memberPath) {
  const char* relative = Relative(job, memberPath);
  char path[TargetPathSize];
  if (!relative || !MakeTargetPath(job.target, relative, path, sizeof path)) return;
  if (std::strlen(path) >= MAX_PATH) return;
  if (ExtractMemberToFile(*job.archive, index, entry, job.target, path, AskOverwriteWithDialog,
                          job.owner, &job.state) == 1) {
    SHChangeNotify(SHCNE_CREATE, SHCNF_PATHA, path, nullptr);
  }
}

// Creates the folder a folder member or a selected folder stands for.
void MakeFolder(const Extraction& job, const char* memberPath) {
  const char* relative = Relative(job, memberPath);
  char path[TargetPathSize];
  if (!relative || !MakeTargetPath(job.target, relative, path, sizeof path - 1)) return;
  if (LinkOnTheWay(job.target, path)) return;
  // A trailing separator has the last folder made too.
  if (JoinPath(path, sizeof path, path, "", PathKind::Disk)) CreatePathDirectories(path);
}

void ExtractFolder(Extraction& job, EntryEnumerator& snapshot, const char* folderPath) {
  MakeFolder(job, folderPath);
  snapshot.Reset();
  ArchiveEntry record;
  for (std::uint32_t index = 0;
       job.state != OverwriteState::Stop && snapshot.Next(1, &record, nullptr) == S_OK; ++index) {
    char full[EntryPathMax];
    EntryPath(record, full);
    if (!IsBelowFolder(folderPath, full)) continue;
    if (IsFolderMember(record)) {
      MakeFolder(job, full);
      continue;
    }
    ExtractOne(job, index, record, full);
  }
}

// The place of the selected file in the snapshot: the member with the item's path whose header
// the item saw, else the first with that path (the view is older than the snapshot); -1 if none.
std::int32_t FindSelected(EntryEnumerator& snapshot, const ItemId& item, ArchiveEntry* out) {
  std::int32_t first = -1;
  ArchiveEntry record;
  snapshot.Reset();
  for (std::int32_t index = 0; snapshot.Next(1, &record, nullptr) == S_OK; ++index) {
    char full[EntryPathMax];
    EntryPath(record, full);
    if (std::strcmp(full, item.path) != 0) continue;
    if (record.headerOffset == item.headerOffset) {
      *out = record;
      return index;
    }
    if (first < 0) {
      first = index;
      *out = record;
    }
  }
  return first;
}

}  // namespace

int ExtractSelection(Archive* archive, const char* folderPath, UINT count, LPCITEMIDLIST* items,
                     HWND owner) {
  char target[MAX_PATH];
  if (!PickFolder(owner, target)) return 0;
  if (!archive || !items) return 1;
  Extraction job{archive, owner, target, std::strlen(folderPath ? folderPath : "")};
  EntryEnumerator* snapshot = archive->EnumEntries();
  if (!snapshot) return 1;
  for (UINT i = 0; i < count && job.state != OverwriteState::Stop; ++i) {
    const ItemId* item = AsItemId(items[i]);
    if (!item) continue;
    if (IsFolderItem(*item)) {
      ExtractFolder(job, *snapshot, item->path);
    } else {
      ArchiveEntry entry;
      const std::int32_t index = FindSelected(*snapshot, *item, &entry);
      if (index >= 0) ExtractOne(job, std::uint32_t(index), entry, item->path);
    }
  }
  snapshot->Release();
  return 1;
}
