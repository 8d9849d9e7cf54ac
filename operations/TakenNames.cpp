#include "operations/TakenNames.h"

#include <cstring>
#include <new>

#include "archive/Archive.h"
#include "archive/ArchiveRewrite.h"
#include "archive/NoCase.h"
#include "archive/PathName.h"

std::size_t TakenNames::NoCaseHash::operator()(const std::string& key) const {
  return static_cast<std::size_t>(HashKeyNoCase(key.c_str()));
}

bool TakenNames::NoCaseEqual::operator()(const std::string& a, const std::string& b) const {
  return CompareNoCase(a.c_str(), b.c_str()) == 0;
}

void TakenNames::AddFolders(FolderIndex& index, const char* key) {
  std::string folder(key, PathFolderLength(key));
  // Upwards until a folder that is known already: its own parents were added with it.
  while (!folder.empty() && index.emplace(folder, folder).second) {
    folder.pop_back();  // the folder's own backslash
    folder.resize(PathFolderLength(folder.c_str()));
  }
}

bool TakenNames::Refresh(Archive& archive) {
  try {
    if (catalogue_ != archive.Members()) {
      catalogue_ = archive.Members();
      catalogueFolders_.clear();
      const StringList& list = catalogue_->List();
      for (std::uint32_t i = 0; i < list.Count(); ++i) {
        const char* key = nullptr;
        if (list.Get(i, &key, nullptr, nullptr)) AddFolders(catalogueFolders_, key);
      }
    }
    const StringList& staged = archive.Pending();
    const char* last = nullptr;
    // A list that shrank, or whose last seen node is another one now, was rebuilt (something was
    // taken back or committed): start over. Otherwise only the nodes since the last look are new.
    if (staged.Count() < stagedSeen_ ||
        (stagedSeen_ > 0 && (!staged.Get(stagedSeen_ - 1, &last, nullptr, nullptr) ||
                             lastStaged_ != last))) {
      stagedFolders_.clear();
      stagedSeen_ = 0;
    }
    for (; stagedSeen_ < staged.Count(); ++stagedSeen_) {
      if (staged.Get(stagedSeen_, &last, nullptr, nullptr)) {
        AddFolders(stagedFolders_, last);
        lastStaged_ = last;
      }
    }
    return true;
  } catch (const std::bad_alloc&) {
    catalogue_.reset();
    stagedSeen_ = 0;
    return false;
  }
}

TakenNames::Taker TakenNames::Find(Archive& archive, const char* path) const {
  Taker taker;
  const StringList* lists[] = {&archive.Catalogue(), &archive.Pending()};
  const std::string folder = JoinPath(path, "");
  for (const FolderIndex* index : {&catalogueFolders_, &stagedFolders_, &queuedFolders_}) {
    auto found = index->find(folder);
    if (found == index->end()) continue;
    taker.folder = true;
    taker.spelling.assign(found->second, 0, found->second.size() - 1);
    break;
  }
  for (const StringList* list : lists) {
    const char* key = nullptr;
    std::int32_t at = list->FindNoCase(path);
    if (at < 0 || !list->Get(static_cast<std::uint32_t>(at), &key, nullptr, nullptr)) continue;
    taker.file = true;
    if (!taker.folder) taker.spelling = key;
    return taker;
  }
  auto queued = queuedFiles_.find(path);
  if (queued != queuedFiles_.end()) {
    taker.file = true;
    if (!taker.folder) taker.spelling = queued->second;
  } else if (archive.RenameStaged() && PathTaken(archive, path)) {
    // A staged rename is filed under the member's old path; its new one is taken all the same,
    // as the staging will find.
    taker.file = true;
    if (!taker.folder) taker.spelling = path;
  }
  return taker;
}

bool TakenNames::Queue(const char* path) {
  try {
    queuedFiles_.emplace(path, path);
    AddFolders(queuedFolders_, path);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void TakenNames::ClearQueued() {
  queuedFiles_.clear();
  queuedFolders_.clear();
}
