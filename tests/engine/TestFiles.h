// Files for engine tests: a private folder in the temporary directory, removed with its contents
// at the end of the test, and whole-file helpers over the platform layer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testfiles {

// Reads a whole file; false when it cannot be opened.
bool ReadAll(const std::string& path, std::vector<std::uint8_t>* out);
// Creates or replaces a file with the bytes.
bool WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes);
// The interoperability corpus folder (with its trailing separator), or "" when unknown.
std::string InteropDir();

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  // The folder, with a trailing separator.
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + name; }
  // Removes everything created below the folder (files and folders, deepest first).
  void Track(const std::string& path) { created_.push_back(path); }

 private:
  std::string path_;
  std::vector<std::string> created_;
};

}  // namespace testfiles
