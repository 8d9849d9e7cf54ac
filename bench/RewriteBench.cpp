// Times a change committed to an archive that is already open and scanned:
//   rewrite_bench ARCHIVE rename|comment [INDEX]   one header-only change of one member
//   rewrite_bench ARCHIVE delete LIST              deleting the members named in LIST (one
//                                                  member path per line, "\" between folders)
// Prints the seconds the change took (staging and commit).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveRewrite.h"

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
  bool ok = Commit(*archive, &why);
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  archive->Release();
  if (!ok) {
    std::fprintf(stderr, "commit failed: %s\n", RewriteFailureText(why));
    return 1;
  }
  std::printf("%.3f\n", seconds);
  return 0;
}
