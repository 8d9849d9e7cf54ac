// a and d: changing an archive.
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <chrono>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveRewrite.h"
#include "archive/Extract.h"
#include "archive/ParallelStager.h"
#include "archive/PathName.h"
#include "archive/StagingOutput.h"
#include "archive/TargetPath.h"
#include "archive/TimeConversion.h"
#include "cli/Commands.h"
#include "cli/FolderListing.h"
#include "cli/NameCodec.h"
#include "cli/Progress.h"
#include "cli/Session.h"
#include "platform/Platform.h"

namespace cli {
namespace {


#ifdef _WIN32
constexpr std::uint8_t NewMemberOsId = 'W';
#else
constexpr std::uint8_t NewMemberOsId = 'M';
#endif

// A command-line path as a member path: components separated by "\", "." and empty components
// dropped, converted to the archive's code page. False for a path that is not relative or holds
// "..", or a name the code page cannot hold.
bool ToMemberPath(const std::string& path, std::string* member, std::string* problem) {
  std::vector<std::string> parts;
  bool absolute = !path.empty() && IsPathSeparator(path[0], PathKind::Stored);
  for (const char* p = path.c_str();; ++p) {
    std::size_t n = ComponentLength(p, PathKind::Disk);
    std::string part(p, n);
    if (!part.empty() && part != ".") parts.push_back(part);
    p += n;
    if (!*p) break;
  }
  member->clear();
  for (const auto& part : parts) {
    std::string converted;
    if (!ToArchive(part, &converted)) {
      *problem = "name cannot be written in code page 932";
      return false;
    }
    *member = JoinPath(*member, converted);
  }
  if (absolute || member->empty() || !IsSafeMemberPath(member->c_str())) {
    *problem = "not a relative path below the base folder";
    return false;
  }
  return true;
}

struct Item {
  std::string local;   // path on disk
  std::string member;  // path in the archive (a folder without its trailing "\")
  bool folder;
  std::uint64_t size;
};

// Collects `local` and, for a folder, everything below it.
void Collect(const std::string& local, const std::string& member, std::vector<Item>* items,
             int* failed) {
  std::uint32_t attributes = platform::GetAttributes(local.c_str());
  if (attributes == platform::InvalidAttributes) {
    Error(local + ": not found");
    ++*failed;
    return;
  }
  if (attributes & platform::AttrDirectory) {
    items->push_back(Item{local, member, true, 0});
    std::vector<std::string> names;
    if (!ListFolder(local, &names)) {
      Error(local + ": cannot read the folder");
      ++*failed;
      return;
    }
    for (const auto& name : names) {
      std::string converted;
      if (!ToArchive(name, &converted)) {
        Error(JoinPath(local, name, PathKind::Disk) + ": name cannot be written in code page 932");
        ++*failed;
        continue;
      }
      Collect(JoinPath(local, name, PathKind::Disk), JoinPath(member, converted), items, failed);
    }
    return;
  }
  std::uint64_t size = 0;
  platform::FileHandle file = platform::OpenFile(local.c_str(), platform::OpenMode::ReadExisting);
  if (file != platform::NoFile) {
    std::int64_t s = platform::FileSize(file);
    size = s < 0 ? 0 : static_cast<std::uint64_t>(s);
    platform::CloseFile(file);
  }
  items->push_back(Item{local, member, false, size});
}

// Fills the entry of a new member as the shell library does for a dropped file.
bool MakeEntry(const Item& item, const Options& options, ArchiveEntry* entry) {
  std::memset(entry, 0, sizeof *entry);
  std::string directory, name;
  if (item.folder) {
    directory = JoinPath(item.member, "");  // a folder's entry ends with its separator
  } else {
    std::size_t cut = PathFolderLength(item.member.c_str());
    directory = item.member.substr(0, cut);
    name = item.member.substr(cut);
  }
  if (directory.size() > EntryFieldMax || name.size() > EntryFieldMax) return false;
  std::memcpy(entry->directory, directory.c_str(), directory.size() + 1);
  std::memcpy(entry->name, name.c_str(), name.size() + 1);
  std::snprintf(entry->method, sizeof entry->method, "-lh%c-", item.folder ? 'd' : options.method);
  entry->headerLevel = static_cast<std::uint8_t>(options.headerLevel);
  entry->osId = NewMemberOsId;
  std::uint32_t attributes = platform::GetAttributes(item.local.c_str());
  entry->attributes = static_cast<std::uint16_t>(
      attributes == platform::InvalidAttributes ? 0x20 : attributes & 0x37);
  platform::FileTime create, access, write;
  if (PathTimes(item.local, &create, &access, &write)) {
    entry->modifyTime = FileTimeToUnix(write);
    entry->createTime = platform::ToU64(create) ? FileTimeToUnix(create) : entry->modifyTime;
    entry->accessTime = platform::ToU64(access) ? FileTimeToUnix(access) : entry->modifyTime;
  }
  entry->originalSize = static_cast<std::uint32_t>(item.size);
  return true;
}

// The bar follows the bytes all workers have read; the label names the member being filed.
struct AddProgress {
  Progress* bar;
  const std::vector<Item>* items;
  std::size_t first;  // index of the chunk's first item
};

int OnStageProgress(void* context, std::uint64_t bytesRead, std::uint32_t finished) {
  auto* p = static_cast<AddProgress*>(context);
  const std::size_t at = std::min(p->first + finished, p->items->size() - 1);
  p->bar->Update(bytesRead, ShowPath((*p->items)[at].member));
  return 0;
}

// Commits, waiting while another program holds the archive's file lock.
bool CommitWaiting(Archive& archive, const std::string& path) {
  RewriteFailure why = RewriteFailure::None;
  for (int attempt = 0; attempt < LockAttempts; ++attempt) {
    if (Commit(archive, &why)) {
      if (why != RewriteFailure::None) Error(path + ": " + RewriteFailureText(why));
      return true;
    }
    if (why != RewriteFailure::Locked) break;
    std::this_thread::sleep_for(LockRetryDelay);
  }
  Error(path + ": " + RewriteFailureText(why));
  return false;
}

}  // namespace

int RunAdd(const Options& options) {
  std::vector<Item> items;
  int failed = 0;
  for (const auto& path : options.paths) {
    std::string member, problem;
    if (!ToMemberPath(path, &member, &problem)) {
      Error(path + ": " + problem);
      ++failed;
      continue;
    }
    Collect(JoinPath(options.folder, path, PathKind::Disk), member, &items, &failed);
  }
  Session session;
  if (!session.Open(options.archive, OpenFor::Creating)) return ExitUsage;
  std::uint64_t total = 0;
  for (const auto& item : items) total += item.size;
  Progress bar(!options.quiet, total);
  // Staged in chunks so that memory stays bounded whatever the count; small members go to the
  // archive's spool, and only the larger ones keep a temporary file each until the commit, so
  // one commit at the end does (a commit on the way only when many of those are open).
  constexpr std::size_t Chunk = 2048;
  constexpr std::uint32_t OwnFilesBeforeCommit = 256;
  std::uint32_t staged = 0, ownFiles = 0;
  std::uint64_t bytesBefore = 0;
  for (std::size_t first = 0; first < items.size(); first += Chunk) {
    const std::size_t end = std::min(items.size(), first + Chunk);
    std::vector<StageRequest> requests;
    std::vector<std::size_t> itemOf;
    for (std::size_t i = first; i < end; ++i) {
      StageRequest request;
      if (!MakeEntry(items[i], options, &request.entry)) {
        bar.Clear();
        Error(items[i].local + ": " + RewriteFailureText(RewriteFailure::BadEntry));
        ++failed;
        continue;
      }
      request.source = items[i].local;
      requests.push_back(std::move(request));
      itemOf.push_back(i);
    }
    AddProgress progress{&bar, &items, first};
    struct Offset {
      AddProgress* inner;
      std::uint64_t before;
    } offset{&progress, bytesBefore};
    auto onProgress = [](void* context, std::uint64_t bytes, std::uint32_t finished) {
      auto* o = static_cast<Offset*>(context);
      return OnStageProgress(o->inner, o->before + bytes, finished);
    };
    staged += StageFiles(session.archive(), requests, options.threads, onProgress, &offset);
    for (std::size_t r = 0; r < requests.size(); ++r) {
      const StageRequest& request = requests[r];
      bytesBefore += items[itemOf[r]].size;
      if (request.staged) {
        if (static_cast<std::uint32_t>(request.entry.packedSize) > StagingOutput::SpoolLimit)
          ++ownFiles;
        continue;
      }
      bar.Clear();
      Error(items[itemOf[r]].local + ": " + RewriteFailureText(request.why));
      ++failed;
    }
    if (ownFiles >= OwnFilesBeforeCommit) {
      if (!CommitWaiting(session.archive(), options.archive)) return ExitMemberFailed;
      ownFiles = 0;
      staged = 0;
    }
  }
  bar.Clear();
  if (staged > 0 && !CommitWaiting(session.archive(), options.archive)) return ExitMemberFailed;
  return failed ? ExitMemberFailed : ExitOk;
}

int RunDelete(const Options& options) {
  Session session;
  if (!session.Open(options.archive, OpenFor::Changing)) return ExitUsage;
  Archive& archive = session.archive();
  int failed = 0;
  std::uint32_t marked = 0;
  for (const auto& path : options.paths) {
    std::string member, problem;
    if (!ToMemberPath(path, &member, &problem)) {
      Error(path + ": " + problem);
      ++failed;
      continue;
    }
    // A file member is deleted by its path alone; anything else may be a folder, whose
    // members are found by one pass over the catalogue.
    std::uint32_t here = 0;
    std::int32_t index = -1;
    if (archive.Lock(false)) {
      index = archive.FindMember(member.c_str());
      ArchiveEntry found;
      if (index >= 0 && (!archive.GetMember(static_cast<std::uint32_t>(index), &found) ||
                         IsFolderMember(found)))
        index = -1;
      archive.Unlock();
    }
    if (index >= 0 && MarkDeleted(archive, member.c_str()))
      here = 1;
    else
      here = MarkDeletedBelow(archive, member.c_str());
    if (here == 0) {
      Error(path + ": no such member");
      ++failed;
    }
    marked += here;
  }
  if (marked && !CommitWaiting(archive, options.archive)) return ExitMemberFailed;
  return failed ? ExitMemberFailed : ExitOk;
}

}  // namespace cli
