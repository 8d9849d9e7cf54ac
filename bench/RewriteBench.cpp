// Times a change committed to an archive that is already open and scanned:
//   rewrite_bench ARCHIVE rename|comment [INDEX]   one header-only change of one member
//   rewrite_bench ARCHIVE delete LIST              deleting the members named in LIST (one
//                                                  member path per line, "\" between folders)
//   rewrite_bench ARCHIVE add FILE                 adding FILE (-lh5-) as a new member
// Prints the seconds the change took (staging and commit).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveRewrite.h"

namespace {

// Prints the seconds since `start` (or the failure) and releases the archive; the exit status.
int Finish(Archive* archive, std::chrono::steady_clock::time_point start, bool ok,
           RewriteFailure why, const char* what) {
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  archive->Release();
  if (!ok) {
    std::fprintf(stderr, "%s failed: %s\n", what, RewriteFailureText(why));
    return 1;
  }
  std::printf("%.3f\n", seconds);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: rewrite_bench ARCHIVE rename|comment [INDEX] | delete LIST\n");
    return 2;
  }
  auto* archive = new Archive();
  archive->Retain();
  // Scanned under the file lock, as a command that is about to change the archive does.
  if (archive->OpenFile(argv[1]) != ResultOk || !archive->Lock(true)) {
    std::fprintf(stderr, "cannot open %s\n", argv[1]);
    return 2;
  }
  if (std::strcmp(argv[2], "delete") == 0) {
    std::vector<std::string> paths;
    std::ifstream list(argc > 3 ? argv[3] : "");
    for (std::string line; std::getline(list, line);)
      if (!line.empty()) paths.push_back(line);
    archive->Unlock();
    auto start = std::chrono::steady_clock::now();
    std::size_t marked = 0;
    for (const auto& path : paths) marked += MarkDeleted(*archive, path.c_str()) ? 1 : 0;
    RewriteFailure why = RewriteFailure::None;
    bool ok = Commit(*archive, &why);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    archive->Release();
    if (!ok || marked != paths.size()) {
      std::fprintf(stderr, "deleted %zu of %zu: %s\n", marked, paths.size(),
                   RewriteFailureText(why));
      return 1;
    }
    std::printf("%.3f\n", seconds);
    return 0;
  }
  if (std::strcmp(argv[2], "add") == 0 && argc > 3) {
    archive->Unlock();
    ArchiveEntry entry{};
    std::memcpy(entry.method, "-lh5-", 6);
    std::snprintf(entry.name, sizeof entry.name, "ADDED%ld.TXT",
                  static_cast<long>(std::time(nullptr)) % 100000);
    entry.headerLevel = 2;
    entry.attributes = 0x20;
    entry.createTime = entry.modifyTime = entry.accessTime = 1600000000;
    auto start = std::chrono::steady_clock::now();
    RewriteFailure why = RewriteFailure::None;
    const bool ok =
        StageFile(*archive, &entry, argv[3], nullptr, nullptr, &why) && Commit(*archive, &why);
    return Finish(archive, start, ok, why, "add");
  }
  std::uint32_t index = argc > 3 ? static_cast<std::uint32_t>(std::atoi(argv[3])) : 0;
  ArchiveEntry record;
  const ArchiveEntry* member = archive->GetMember(index, &record) ? &record : nullptr;
  if (!member) {
    std::fprintf(stderr, "no member %u\n", index);
    return 2;
  }
  ArchiveEntry changed = *member;
  char path[EntryPathMax];
  EntryPath(*member, path);
  archive->Unlock();
  if (std::strcmp(argv[2], "comment") == 0) {
    std::snprintf(changed.comment, sizeof changed.comment, "changed at %ld",
                  static_cast<long>(std::time(nullptr)));
  } else {
    std::size_t n = std::strlen(changed.name);
    if (n + 2 < sizeof changed.name) std::memcpy(changed.name + n, "_r", 3);
  }
  auto start = std::chrono::steady_clock::now();
  if (!StageEntry(*archive, path, changed)) return 1;
  RewriteFailure why = RewriteFailure::None;
  const bool ok = Commit(*archive, &why);
  return Finish(archive, start, ok, why, "commit");
}
