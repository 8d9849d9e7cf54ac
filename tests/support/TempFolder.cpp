#include "support/TempFolder.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/Platform.h"
#include "support/TestFiles.h"

namespace testsupport {

namespace {

std::string Joined(const std::string& folder, const std::string& name) {
  return folder + platform::PathSeparator() + name;
}

// Removes a folder and everything in it; read-only files and folders are made writable first.
void RemoveTree(const std::string& path) {
  platform::SetAttributes(path.c_str(), platform::AttrNormal);
  for (const std::string& name : ListFolder(path)) {
    const std::string child = Joined(path, name);
    if (IsDirectory(child)) {
      RemoveTree(child);
    } else {
      platform::SetAttributes(child.c_str(), platform::AttrNormal);
      platform::RemoveFile(child.c_str());
    }
  }
  platform::RemoveFolder(path.c_str());
}

}  // namespace

TempFolder::TempFolder() {
  static std::atomic<int> serial{0};
  char base[512];
  if (!platform::TempDirectory(base, sizeof base)) base[0] = '\0';
  for (int attempt = 0; attempt < 1000; ++attempt) {
    char name[64];
    std::snprintf(name, sizeof name, "tntest%u_%d", platform::CurrentThreadId(), ++serial);
    path_ = std::string(base) + name;
    if (platform::MakeDirectory(path_.c_str())) return;
  }
  std::fprintf(stderr, "no temporary folder could be made in %s\n", base);
  std::abort();
}

TempFolder::~TempFolder() { RemoveTree(path_); }

std::string TempFolder::operator/(const std::string& name) const { return Joined(path_, name); }

}  // namespace testsupport
