// a and d: changing an archive.
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <chrono>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveRewrite.h"
#include "archive/PathName.h"
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

constexpr int StageBatch = 512;

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

struct AddProgress {
  Progress* bar;
  std::uint64_t before;
  std::string label;
};

int OnEncoderProgress(void* context, std::uint32_t packed, std::uint32_t original) {
  auto* p = static_cast<AddProgress*>(context);
  if (packed != codec::NotCompressedProgress) p->bar->Update(p->before + original, p->label);
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
  AddProgress progress{&bar, 0, ""};
  int staged = 0;
  for (const auto& item : items) {
    ArchiveEntry entry;
    progress.label = ShowPath(item.member);
    bar.Update(progress.before, progress.label);
    RewriteFailure why = RewriteFailure::BadEntry;
    if (MakeEntry(item, options, &entry) &&
        StageFile(session.archive(), &entry, item.local.c_str(), OnEncoderProgress, &progress,
                  &why)) {
      // Every staged member holds a temporary file open until the commit: commit in batches
      // so that adding many files stays within the open-file limit.
      if (++staged % StageBatch == 0 && !CommitWaiting(session.archive(), options.archive))
        return ExitMemberFailed;
    } else {
      bar.Clear();
      Error(item.local + ": " + RewriteFailureText(why));
      ++failed;
    }
    progress.before += item.size;
  }
  bar.Clear();
  if (staged % StageBatch != 0 && !CommitWaiting(session.archive(), options.archive))
    return ExitMemberFailed;
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
                         (found.attributes & 0x10)))
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
