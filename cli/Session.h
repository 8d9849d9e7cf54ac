// What the commands of tnlzh share: opening the archive, member paths as shown to the user,
// messages on stderr, and the exit status.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/ArchiveEntry.h"

class Archive;

namespace cli {

constexpr int ExitOk = 0;
constexpr int ExitMemberFailed = 1;
constexpr int ExitUsage = 2;

// An open archive with one reference. `Open` fails (with a message) when the file cannot be
// opened or is not an archive; with `create`, a missing file becomes an empty archive first.
class Session {
 public:
  Session() = default;
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  bool Open(const std::string& path, bool create);
  Archive& archive() { return *archive_; }
  // The members in file order (a fresh scan when the file changed).
  std::vector<ArchiveEntry> Members();

 private:
  Archive* archive_ = nullptr;
};

// Member path as shown and written: converted to the local character set, with '/' between
// components on POSIX.
std::string ShowPath(const ArchiveEntry& entry);
std::string ShowPath(const std::string& archivePath);

// "tnlzh: " + text on stderr.
void Error(const std::string& text);

}  // namespace cli
