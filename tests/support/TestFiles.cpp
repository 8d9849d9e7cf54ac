#include "support/TestFiles.h"

#include <algorithm>
#include <cstdlib>

#include "archive/PathName.h"
#include "platform/Platform.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#endif

namespace testsupport {

Bytes TextBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

bool ReadBytes(const std::string& path, Bytes* out) {
  out->clear();
  platform::FileHandle file = platform::OpenFile(path.c_str(), platform::OpenMode::ReadExisting);
  if (file == platform::NoFile) return false;
  const std::int64_t size = platform::FileSize(file);
  out->assign(size > 0 ? static_cast<std::size_t>(size) : 0, 0);
  std::uint32_t got = 0;
  const bool ok =
      size >= 0 &&
      (size == 0 || platform::ReadFile(file, out->data(), static_cast<std::uint32_t>(size), &got));
  platform::CloseFile(file);
  return ok && got == out->size();
}

Bytes ReadBytes(const std::string& path) {
  Bytes bytes;
  if (!ReadBytes(path, &bytes)) bytes.clear();
  return bytes;
}

std::string ReadText(const std::string& path) {
  Bytes bytes;
  if (!ReadBytes(path, &bytes)) return "<missing>";
  return std::string(bytes.begin(), bytes.end());
}

bool WriteBytes(const std::string& path, const Bytes& bytes) {
  platform::FileHandle file = platform::OpenFile(path.c_str(), platform::OpenMode::CreateAlways);
  if (file == platform::NoFile) return false;
  bool ok = bytes.empty() ||
            platform::WriteFile(file, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  ok = platform::SetEndOfFile(file) && ok;
  platform::CloseFile(file);
  return ok;
}

bool Exists(const std::string& path) {
  return platform::GetAttributes(path.c_str()) != platform::InvalidAttributes;
}

bool IsDirectory(const std::string& path) {
  const std::uint32_t attributes = platform::GetAttributes(path.c_str());
  return attributes != platform::InvalidAttributes && (attributes & platform::AttrDirectory);
}

std::vector<std::string> ListFolder(const std::string& path) {
  std::vector<std::string> names;
#ifdef _WIN32
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    names.push_back(found.cFileName);
  } while (FindNextFileA(search, &found));
  FindClose(search);
#else
  DIR* folder = opendir(path.c_str());
  if (!folder) return names;
  while (const dirent* entry = readdir(folder)) names.push_back(entry->d_name);
  closedir(folder);
#endif
  names.erase(std::remove_if(names.begin(), names.end(),
                             [](const std::string& n) { return n == "." || n == ".."; }),
              names.end());
  std::sort(names.begin(), names.end());
  return names;
}

std::string HostPath(std::string path) {
#ifdef _WIN32
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  ReplaceSeparators(path, '\\', PathKind::Disk);
#endif
  return path;
}

std::string SourcePath(const std::string& relative) {
  const char* source = std::getenv("TANUVIA_SOURCE_DIR");
  return HostPath(std::string(source && *source ? source : TANUVIA_TEST_SOURCE_DIR) + "/" +
                  relative);
}

std::string InteropDir() {
  const char* dir = std::getenv("TANUVIA_INTEROP_DIR");
  if (!dir || !*dir) return SourcePath("tests/interop/");
  std::string path = HostPath(dir);
  return JoinPath(path, "", PathKind::Disk);
}

}  // namespace testsupport
