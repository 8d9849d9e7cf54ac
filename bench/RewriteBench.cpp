// Times one header-only change (a rename of one member, or a new comment) committed to an
// archive: rewrite_bench ARCHIVE rename|comment [INDEX]. Prints the seconds the commit took.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "archive/Archive.h"
#include "archive/ArchiveRewrite.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: rewrite_bench ARCHIVE rename|comment [INDEX]\n");
    return 2;
  }
  auto* archive = new Archive();
  archive->Retain();
  if (archive->OpenFile(argv[1]) != ResultOk || !archive->Lock(false)) {
    std::fprintf(stderr, "cannot open %s\n", argv[1]);
    return 2;
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
