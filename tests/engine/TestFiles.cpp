#include "TestFiles.h"

#include <cstdio>
#include <cstdlib>

#include "platform/Platform.h"

namespace testfiles {

bool ReadAll(const std::string& path, std::vector<std::uint8_t>* out) {
  platform::FileHandle file = platform::OpenFile(path.c_str(), platform::OpenMode::ReadExisting);
  if (file == platform::NoFile) return false;
  std::int64_t size = platform::FileSize(file);
  out->assign(size > 0 ? static_cast<std::size_t>(size) : 0, 0);
  std::uint32_t got = 0;
  bool ok = size >= 0 && (size == 0 || platform::ReadFile(file, out->data(),
                                                          static_cast<std::uint32_t>(size), &got));
  platform::CloseFile(file);
  return ok && got == out->size();
}

bool WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  platform::FileHandle file = platform::OpenFile(path.c_str(), platform::OpenMode::CreateAlways);
  if (file == platform::NoFile) return false;
  bool ok = bytes.empty() ||
            platform::WriteFile(file, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  ok = platform::SetEndOfFile(file) && ok;
  platform::CloseFile(file);
  return ok;
}

std::string InteropDir() {
  const char* dir = std::getenv("TANUVIA_INTEROP_DIR");
  if (!dir || !*dir) return "";
  std::string path = dir;
  if (path.back() != '/' && path.back() != '\\') path += '/';
  return path;
}

TempFolder::TempFolder() {
  static int serial = 0;
  char base[512];
  if (!platform::TempDirectory(base, sizeof base)) base[0] = '\0';
  char name[64];
  std::snprintf(name, sizeof name, "tnengine%u_%d", platform::CurrentThreadId(), ++serial);
  path_ = std::string(base) + name;
  platform::MakeDirectory(path_.c_str());
  path_ += platform::PathSeparator();
}

TempFolder::~TempFolder() {
  for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
    platform::SetAttributes(it->c_str(), platform::AttrNormal);
    if (!platform::RemoveFile(it->c_str())) platform::RemoveFolder(it->c_str());
  }
  platform::RemoveFolder(path_.substr(0, path_.size() - 1).c_str());
}

}  // namespace testfiles
