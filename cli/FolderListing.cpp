#include "cli/FolderListing.h"

#include <algorithm>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#endif

namespace cli {

bool ListFolder(const std::string& folder, std::vector<std::string>* names) {
  names->clear();
#ifdef _WIN32
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  do {
    std::string name = data.cFileName;
    if (name != "." && name != "..") names->push_back(name);
  } while (FindNextFileA(find, &data));
  FindClose(find);
#else
  DIR* dir = opendir(folder.c_str());
  if (!dir) return false;
  while (struct dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names->push_back(name);
  }
  closedir(dir);
#endif
  std::sort(names->begin(), names->end());
  return true;
}

}  // namespace cli

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace cli {

#ifdef _WIN32
bool PathTimes(const std::string& path, platform::FileTime* create, platform::FileTime* access,
               platform::FileTime* write) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  *create = platform::FileTime{data.ftCreationTime.dwLowDateTime, data.ftCreationTime.dwHighDateTime};
  *access = platform::FileTime{data.ftLastAccessTime.dwLowDateTime, data.ftLastAccessTime.dwHighDateTime};
  *write = platform::FileTime{data.ftLastWriteTime.dwLowDateTime, data.ftLastWriteTime.dwHighDateTime};
  return true;
}
#else
namespace {
platform::FileTime FromTimespec(const struct timespec& ts) {
  const std::int64_t ticks = 116444736000000000LL + std::int64_t{ts.tv_sec} * 10000000 + ts.tv_nsec / 100;
  return platform::FromU64(ticks < 0 ? 0 : static_cast<std::uint64_t>(ticks));
}
}  // namespace

bool PathTimes(const std::string& path, platform::FileTime* create, platform::FileTime* access,
               platform::FileTime* write) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  // No creation time in struct stat: the status-change time is the nearest thing.
  *create = FromTimespec(st.st_ctim);
  *access = FromTimespec(st.st_atim);
  *write = FromTimespec(st.st_mtim);
  return true;
}
#endif

}  // namespace cli
