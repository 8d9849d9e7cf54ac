#include "operations/ExtractSelection.h"

#include <cstring>
#include <deque>
#include <string>

#include "archive/Archive.h"
#include "archive/DecodeAhead.h"
#include "archive/EntryEnumerator.h"
#include "archive/Extract.h"
#include "archive/NoCase.h"
#include "archive/PathName.h"
#include "archive/TargetPath.h"
#include "namespace/ItemId.h"
#include "namespace/ModuleState.h"
#include "operations/ConfirmationDialogs.h"
#include "operations/TempCopy.h"
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

// Creates the folder a folder member or a selected folder stands for.
void MakeFolder(const Extraction& job, const char* memberPath) {
  const char* relative = Relative(job, memberPath);
  char path[TargetPathSize];
  if (!relative || !MakeTargetPath(job.target, relative, path, sizeof path - 1)) return;
  if (LinkOnTheWay(job.target, path)) return;
  // A trailing separator has the last folder made too.
  if (JoinPath(path, sizeof path, path, "", PathKind::Disk)) CreatePathDirectories(path);
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

// One thing to do, in the order the selection is extracted: make a folder, or write a member.
struct Step {
  bool folder = false;
  std::string memberPath;     // a folder's path in the archive
  std::uint32_t index = 0;    // a member's place in the snapshot, its record and its target
  ArchiveEntry entry;
  char target[TargetPathSize];
};

// The member's target below the chosen folder; the path goes through the engine's guard, so a
// stored path with ".." components, a drive or a root never lands outside it. False when the
// member gets no file.
bool MemberTarget(const Extraction& job, const char* memberPath, Step* step) {
  const char* relative = Relative(job, memberPath);
  return relative && MakeTargetPath(job.target, relative, step->target, sizeof step->target) &&
         std::strlen(step->target) < MAX_PATH;
}

// The selection in the order it is extracted: the items in selection order, a folder followed
// by the folders and members below it in snapshot order. Read a few steps ahead of the writing,
// so that the members can be decoded ahead.
class SelectionWalk {
 public:
  SelectionWalk(const Extraction& job, EntryEnumerator& snapshot, UINT count,
                LPCITEMIDLIST* items)
      : job_(job), snapshot_(snapshot), count_(count), items_(items) {}

  // Fills the next step; false after the last.
  bool Next(Step* step) {
    for (;;) {
      while (folder_ && snapshot_.Next(1, &step->entry, nullptr) == S_OK) {
        const std::uint32_t index = place_++;
        char full[EntryPathMax];
        EntryPath(step->entry, full);
        if (!IsBelowFolder(folder_->path, full)) continue;
        step->folder = IsFolderMember(step->entry);
        if (step->folder) step->memberPath = full;
        step->index = index;
        if (step->folder || MemberTarget(job_, full, step)) return true;
      }
      folder_ = nullptr;
      if (item_ >= count_) return false;
      const ItemId* item = AsItemId(items_[item_++]);
      if (!item) continue;
      if (IsFolderItem(*item)) {
        folder_ = item;
        place_ = 0;
        snapshot_.Reset();
        step->folder = true;
        step->memberPath = item->path;
        return true;
      }
      const std::int32_t index = FindSelected(snapshot_, *item, &step->entry);
      step->folder = false;
      step->index = std::uint32_t(index);
      if (index >= 0 && MemberTarget(job_, item->path, step)) return true;
    }
  }

 private:
  const Extraction& job_;
  EntryEnumerator& snapshot_;
  const UINT count_;
  LPCITEMIDLIST* const items_;
  UINT item_ = 0;                   // the next selected item
  const ItemId* folder_ = nullptr;  // the selected folder being walked
  std::uint32_t place_ = 0;         // the snapshot place of the folder walk's next record
};

}  // namespace

int ExtractSelection(Archive* archive, const char* folderPath, UINT count, LPCITEMIDLIST* items,
                     HWND owner, unsigned threads) {
  char target[MAX_PATH];
  if (!PickFolder(owner, target)) return 0;
  if (!archive || !items) return 1;
  Extraction job{archive, owner, target, std::strlen(folderPath ? folderPath : "")};
  EntryEnumerator* snapshot = archive->EnumEntries();
  if (!snapshot) return 1;
  {
    // Members are decoded ahead on the pool while this thread asks and writes in order; each is
    // addressed by its place in the snapshot, and one that changed meanwhile is not written.
    DecodeAhead pool(*archive, threads, threads == 0 ? ShellHandOffBytes : 0);
    SelectionWalk walk(job, *snapshot, count, items);
    std::deque<Step> pending;
    for (bool more = true; job.state != OverwriteState::Stop;) {
      while (more && pending.size() <= pool.Window()) {
        pending.emplace_back();
        more = walk.Next(&pending.back());
        if (!more) pending.pop_back();
        else if (!pending.back().folder) pool.Queue(pending.back().index, pending.back().entry);
      }
      if (pending.empty()) break;
      const Step& step = pending.front();
      if (step.folder) {
        MakeFolder(job, step.memberPath.c_str());
      } else if (ExtractMemberToFile(*archive, step.index, step.entry, job.target, step.target,
                                     AskOverwriteWithDialog, job.owner, &job.state, nullptr,
                                     &pool) == 1) {
        SHChangeNotify(SHCNE_CREATE, SHCNF_PATHA, step.target, nullptr);
      }
      pending.pop_front();
    }
  }
  snapshot->Release();
  return 1;
}
