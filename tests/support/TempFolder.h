// A temporary folder of a test's own.
#pragma once

#include <string>

namespace testsupport {

// A fresh folder under the temporary folder, removed with everything in it (read-only too).
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  // The folder, without a trailing separator.
  const std::string& path() const { return path_; }
  // A path inside the folder.
  std::string operator/(const std::string& name) const;

 private:
  std::string path_;
};

}  // namespace testsupport
