#include "archive/Extract.h"

#include <chrono>
#include <deque>
#include <cstring>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "archive/Archive.h"
#include "archive/DecodeAhead.h"
#include "archive/EntryEnumerator.h"
#include "archive/HeaderFormat.h"
#include "archive/PathName.h"
#include "archive/TimeConversion.h"
#include "platform/Platform.h"

using platform::FileHandle;
using platform::NoFile;

namespace {

// Attribute bits a file gets back: read-only, hidden, system, archive.
constexpr std::uint32_t FileAttributeMask = 0x27;
// Pause before a snapshot is taken again after the archive changed under a reader.
constexpr std::chrono::milliseconds ChangeRetryDelay{25};

// A member's header wherever it lies: a rewrite moves unchanged members, it does not change them.
std::string Identity(const ArchiveEntry& entry) {
  ArchiveEntry fixed;
  std::memcpy(&fixed, &entry, EntryBlockSize);
  fixed.headerOffset = fixed.dataOffset = fixed.headerSize = 0;
  char path[EntryPathMax];
  EntryPath(entry, path);
  return std::string(reinterpret_cast<const char*>(&fixed), EntryBlockSize) + path;
}

// Frees a decoded member's block unless it was handed on.
struct DecodedBlock {
  platform::MemoryBlock block = platform::NoBlock;
  ~DecodedBlock() {
    if (block != platform::NoBlock) platform::FreeBlock(block);
  }
};

// Creates every folder along `path`, the last component included. Failures are left to the
// file creation that follows.
void MakeFolders(const std::string& path) {
  const PathKind disk = PathKind::Disk;
  const std::size_t first = path.empty() ? 1 : PathCharLength(path.c_str(), disk);
  for (std::size_t i = first; i <= path.size();
       i += i < path.size() ? PathCharLength(&path[i], disk) : 1) {
    if (i < path.size() && !IsPathSeparator(path[i], disk)) continue;
    std::string prefix = path.substr(0, i);
    if (prefix.empty() || prefix.back() == ':') continue;  // a drive
    if (platform::GetAttributes(prefix.c_str()) == platform::InvalidAttributes)
      platform::MakeDirectory(prefix.c_str());
  }
}

// The folder part of a disk path without its last separator; empty when there is none.
std::string ParentOf(const char* path) {
  std::size_t end = PathFolderLength(path, PathKind::Disk);
  return end ? std::string(path, end - 1) : std::string();
}

const char* LeafOf(const char* path) { return path + PathFolderLength(path, PathKind::Disk); }

void CopyName(char (&out)[260], const char* text) {
  std::strncpy(out, text, sizeof out - 1);
  out[sizeof out - 1] = '\0';
}

struct Times {
  platform::FileTime create, access, write;
};

Times TimesOf(const ArchiveEntry& entry) {
  Times t;
  UnixToFileTime(entry.createTime, &t.create);
  UnixToFileTime(entry.accessTime, &t.access);
  UnixToFileTime(entry.modifyTime, &t.write);
  return t;
}

// Fills the overwrite record from the member and the file found at `target`.
void DescribeExisting(const ArchiveEntry& entry, const char* target, std::uint32_t attributes,
                      OverwriteRecord* record) {
  std::memset(record, 0, sizeof *record);
  CopyName(record->newName, LeafOf(target));
  record->newTime = entry.modifyTime;
  record->newSize = entry.originalSize;
  CopyName(record->existingName, LeafOf(target));
  record->existingAttributes = attributes;
  FileHandle existing = platform::OpenFile(target, platform::OpenMode::ReadExisting);
  if (existing != NoFile) {
    std::int64_t size = platform::FileSize(existing);
    record->existingSize = size < 0 ? 0 : size > 0xFFFFFFFF ? 0xFFFFFFFFu
                                                            : static_cast<std::uint32_t>(size);
    platform::FileTime write;
    if (platform::GetFileTimes(existing, nullptr, nullptr, &write))
      record->existingTime = FileTimeToUnix(write);
    platform::CloseFile(existing);
  }
}

// Writes the decoded member to the open file and gives it the member's times.
bool WriteContents(FileHandle file, platform::MemoryBlock block, const ArchiveEntry& entry) {
  const auto* data = static_cast<const std::uint8_t*>(platform::LockBlock(block));
  std::uint32_t size = entry.originalSize;
  // An empty member's block has no memory to lock (Windows locks a zero-size block as null).
  bool ok = size == 0 || (data && platform::BlockSize(block) >= size);
  for (std::uint32_t done = 0; ok && done < size;) {
    std::uint32_t chunk = size - done < 0x4000000u ? size - done : 0x4000000u;
    ok = platform::WriteFile(file, data + done, chunk);
    done += chunk;
  }
  if (data) platform::UnlockBlock(block);
  if (ok) {
    Times t = TimesOf(entry);
    platform::SetFileTimes(file, &t.create, &t.access, &t.write);
  }
  return ok;
}

// A new file beside `target` for its replacement ("~tn" and a number), created empty; NoFile
// when none can be made there.
FileHandle CreateSibling(const char* target, std::string* path) {
  std::string folder(target, PathFolderLength(target, PathKind::Disk));  // with its separator
  for (int n = 0; n < 100; ++n) {
    *path = folder + "~tn" + std::to_string(n);
    FileHandle file = platform::OpenFile(path->c_str(), platform::OpenMode::CreateNew);
    if (file != NoFile) return file;
  }
  return NoFile;
}

// Writes the decoded member to `target`, which is created new or, with `replace`, replaces the
// file there. A new file that fails is removed again; a replaced file is only replaced once its
// new contents are complete beside it, so a failure leaves it as it was.
ExtractResult WriteMember(platform::MemoryBlock block, const ArchiveEntry& entry,
                          const char* target, bool replace) {
  std::string written = target;
  FileHandle file = NoFile;
  if (replace) {
    file = CreateSibling(target, &written);
  } else {
    file = platform::OpenFile(target, platform::OpenMode::CreateNew);
    if (file == NoFile && platform::GetAttributes(target) == platform::InvalidAttributes) {
      MakeFolders(ParentOf(target));
      file = platform::OpenFile(target, platform::OpenMode::CreateNew);
    }
  }
  if (file == NoFile) return ExtractResult::WriteFailed;
  bool ok = WriteContents(file, block, entry);
  platform::CloseFile(file);
  if (ok && replace) {
    // A read-only, hidden or system file refuses to be replaced; it gets its bits back if the
    // replacement fails after all.
    const std::uint32_t old = platform::GetAttributes(target);
    platform::SetAttributes(target, platform::AttrNormal);
    ok = platform::ReplaceFileWith(written.c_str(), target);
    if (!ok && old != platform::InvalidAttributes) platform::SetAttributes(target, old);
  }
  if (!ok) {
    platform::RemoveFile(written.c_str());
    return ExtractResult::WriteFailed;
  }
  platform::SetAttributes(target, entry.attributes & FileAttributeMask);
  return ExtractResult::Written;
}

// Who wrote the target before, in this extraction.
enum class Writer { None, ThisMember, OtherMember };

// Writes one member (see ExtractMemberToFile). A target this extraction wrote for the same member
// (an older version of it, before another process replaced it) is replaced without asking; one it
// wrote for another member is asked about like an existing file. `ahead` (optional) holds the
// member decoded, or being decoded, by a worker.
ExtractResult ExtractOne(Archive& archive, std::uint32_t index, const ArchiveEntry& entry,
                         const char* folder, const char* target, OverwriteCallback ask,
                         void* context, OverwriteState* state, Writer writer,
                         DecodeAhead* ahead) {
  const bool ownFile = writer == Writer::OtherMember;
  if (*state == OverwriteState::Stop) return ExtractResult::Stopped;
  if (LinkOnTheWay(folder, target)) return ExtractResult::LinkRefused;
  const ExtractResult kept = ownFile ? ExtractResult::SameFileKept : ExtractResult::Kept;
  const bool keepExisting =
      !ask && *state != OverwriteState::ReplaceAll && writer != Writer::ThisMember;
  if (keepExisting && platform::GetAttributes(target) != platform::InvalidAttributes) return kept;
  // Decoded first: what is asked about and written is the member as the decoder found it.
  DecodedBlock decoded;
  ArchiveEntry member;
  const int decodeResult = ahead ? ahead->Take(index, entry, &decoded.block, &member)
                                 : archive.DecodeMemberAt(index, entry, &decoded.block, &member);
  if (decodeResult == Archive::DecodeChanged) return ExtractResult::Changed;
  if (decodeResult != 0 || decoded.block == platform::NoBlock) return ExtractResult::DecodeFailed;
  bool replace = false;
  std::uint32_t attributes = platform::GetAttributes(target);
  if (attributes != platform::InvalidAttributes) {
    if (*state != OverwriteState::ReplaceAll && writer != Writer::ThisMember) {
      if (!ask) return kept;
      OverwriteRecord record;
      DescribeExisting(member, target, attributes, &record);
      OverwriteAnswer answer = ask(context, record);
      if (answer == OverwriteAnswer::All) *state = OverwriteState::ReplaceAll;
      if (answer == OverwriteAnswer::Cancel) *state = OverwriteState::Stop;
      if (answer != OverwriteAnswer::Yes && answer != OverwriteAnswer::All) return kept;
    }
    if (attributes & platform::AttrDirectory) return ExtractResult::WriteFailed;
    replace = true;
  }
  const ExtractResult result = WriteMember(decoded.block, member, target, replace);
  return result == ExtractResult::Written && ownFile ? ExtractResult::SameFileReplaced : result;
}

}  // namespace

bool IsFolderMember(const ArchiveEntry& entry) {
  return std::memcmp(entry.method, lzh::FolderMethod, lzh::MethodLength) == 0;
}

bool VisitMembersOnce(Archive& archive,
                      const std::function<MemberVisit(std::uint32_t index, const ArchiveEntry&,
                                                      std::uint32_t occurrence)>& visit,
                      int attempts, std::uint32_t* members) {
  return VisitMembersOnce(archive, visit, attempts, members, 0, nullptr);
}

bool VisitMembersOnce(Archive& archive,
                      const std::function<MemberVisit(std::uint32_t index, const ArchiveEntry&,
                                                      std::uint32_t occurrence)>& visit,
                      int attempts, std::uint32_t* members, std::size_t lookahead,
                      const std::function<void(std::uint32_t index, const ArchiveEntry&)>& ahead) {
  std::unordered_map<std::string, std::uint32_t> visited;  // identity -> times visited
  struct Pending {
    std::uint32_t index, occurrence;
    ArchiveEntry entry;
    std::string id;
  };
  for (int changes = 0;;) {
    EntryEnumerator* snapshot = archive.EnumEntries();
    if (!snapshot) return false;
    // A header that occurs n times was visited for its first n occurrences (in earlier passes:
    // `visited` is only added to at the end of a pass).
    std::unordered_map<std::string, std::uint32_t> met, paths, visitedNow;
    std::deque<Pending> pending;  // read from the snapshot (and told `ahead`), not yet visited
    std::uint32_t next = 0;
    bool more = true;
    // Reads the next member to visit into `pending`; false at the end of the snapshot.
    auto readOne = [&] {
      Pending item;
      std::uint32_t fetched = 0;
      while (snapshot->Next(1, &item.entry, &fetched) == ResultOk && fetched == 1) {
        item.index = next++;
        item.id = Identity(item.entry);
        item.occurrence = paths[item.id.substr(EntryBlockSize)]++;
        const auto before = visited.find(item.id);
        std::uint32_t& seen = met[item.id];
        const bool skip = before != visited.end() && seen < before->second;
        ++seen;
        if (skip) continue;
        if (ahead) ahead(item.index, item.entry);
        pending.push_back(std::move(item));
        return true;
      }
      return false;
    };
    bool changed = false, progress = false;
    for (;;) {
      while (more && pending.size() <= lookahead) more = readOne();
      if (pending.empty()) break;
      const Pending& item = pending.front();
      if (visit(item.index, item.entry, item.occurrence) == MemberVisit::Changed) {
        changed = true;
        break;
      }
      ++visitedNow[item.id];
      progress = true;
      pending.pop_front();
    }
    for (const auto& done : visitedNow) visited[done.first] += done.second;
    const std::uint32_t count = snapshot->Count();
    snapshot->Release();
    if (!changed) {
      if (members) *members = count;
      return true;
    }
    changes = progress ? 1 : changes + 1;
    if (changes > attempts) return false;
    std::this_thread::sleep_for(ChangeRetryDelay);
  }
}

int ExtractMemberToFile(Archive& archive, std::uint32_t index, const ArchiveEntry& entry,
                        const char* folder, const char* target, OverwriteCallback ask,
                        void* context, OverwriteState* state, ExtractResult* result,
                        DecodeAhead* ahead) {
  ExtractResult dummy;
  if (!result) result = &dummy;
  OverwriteState localState = OverwriteState::Ask;
  if (!state) state = &localState;
  *result = ExtractOne(archive, index, entry, folder, target, ask, context, state, Writer::None,
                       ahead);
  return *result == ExtractResult::Written ? 1 : 0;
}

int ExtractMemberBelow(Archive& archive, std::uint32_t index, const ArchiveEntry& entry,
                       const char* folder, const char* relativePath, OverwriteCallback ask,
                       void* context, OverwriteState* state, ExtractResult* result) {
  char target[TargetPathSize];
  if (!MakeTargetPath(folder, relativePath, target, sizeof target)) {
    if (result) *result = ExtractResult::Refused;
    return 0;
  }
  return ExtractMemberToFile(archive, index, entry, folder, target, ask, context, state, result);
}

bool ExtractEntries(Archive& archive, const char* folder, const ExtractOptions& options,
                    ExtractCounts* counts) {
  ExtractCounts localCounts;
  if (!counts) counts = &localCounts;
  OverwriteState state = options.state;
  DecodeAhead pool(archive, options.threads, options.smallestAhead);
  // Folder times are set last: writing files into a folder changes its times.
  std::vector<std::pair<std::string, ArchiveEntry>> folders;
  // Files this extraction wrote, as the file system tells them apart, with the member that wrote
  // each: its path and how many members before it have that path.
  std::unordered_map<std::string, std::pair<std::string, std::uint32_t>> written;
  auto visit = [&](std::uint32_t index, const ArchiveEntry& entry, std::uint32_t occurrence) {
    char key[EntryPathMax];
    EntryPath(entry, key);
    char target[TargetPathSize];
    ExtractResult result;
    if (state == OverwriteState::Stop) {
      result = ExtractResult::Stopped;
      target[0] = '\0';
    } else if (!MakeTargetPath(folder, key, target, sizeof target, options.convert,
                               options.convertContext)) {
      result = ExtractResult::Refused;
    } else if (IsFolderMember(entry)) {
      if (LinkOnTheWay(folder, target)) {
        result = ExtractResult::LinkRefused;
      } else {
        MakeFolders(target);
        std::uint32_t attributes = platform::GetAttributes(target);
        result = attributes != platform::InvalidAttributes && (attributes & platform::AttrDirectory)
                     ? ExtractResult::Written
                     : ExtractResult::WriteFailed;
        if (result == ExtractResult::Written) folders.emplace_back(target, entry);
      }
    } else {
      const std::string sameFile = SameFileKey(target);
      const auto writtenBy = written.find(sameFile);
      const std::pair<std::string, std::uint32_t> self(key, occurrence);
      const Writer writer = writtenBy == written.end()   ? Writer::None
                            : writtenBy->second == self ? Writer::ThisMember
                                                        : Writer::OtherMember;
      result = ExtractOne(archive, index, entry, folder, target, options.ask, options.askContext,
                          &state, writer, &pool);
      if (result == ExtractResult::Changed) {
        pool.Clear();  // what was decoded ahead belongs to the old snapshot
        return MemberVisit::Changed;
      }
      if (result == ExtractResult::Written && writer == Writer::None) written.emplace(sameFile, self);
    }
    if (result == ExtractResult::Written || result == ExtractResult::SameFileReplaced)
      ++counts->written;
    else if (result == ExtractResult::Kept || result == ExtractResult::Stopped)
      ++counts->kept;
    else
      ++counts->failed;
    if (result == ExtractResult::SameFileKept || result == ExtractResult::SameFileReplaced)
      ++counts->collided;
    if (options.report) options.report(options.reportContext, entry, result, target);
    return MemberVisit::Done;
  };
  const bool read =
      VisitMembersOnce(archive, visit, options.changeAttempts, nullptr, pool.Window(),
                       [&](std::uint32_t index, const ArchiveEntry& entry) {
                         if (state != OverwriteState::Stop && !IsFolderMember(entry))
                           pool.Queue(index, entry);
                       });
  for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
    Times t = TimesOf(it->second);
    platform::SetPathTimes(it->first.c_str(), &t.create, &t.access, &t.write);
    platform::SetAttributes(it->first.c_str(),
                            (it->second.attributes & FileAttributeMask) | platform::AttrDirectory);
  }
  return read;
}

int ExtractAll(const char* archivePath, const char* folder, std::uint32_t smallestAhead) {
  auto* archive = new Archive();
  archive->Retain();
  int result = 0;
  if (archive->OpenFile(archivePath) == 0) {
    ExtractOptions options;
    options.smallestAhead = smallestAhead;
    ExtractEntries(*archive, folder, options, nullptr);
    result = 1;
  }
  archive->Release();
  return result;
}
