// What the commands of tnlzh share: opening the archive, member paths as shown to the user,
// messages on stderr, and the exit status.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/ArchiveEntry.h"

class Archive;

namespace cli {

constexpr int ExitOk = 0;
constexpr int ExitMemberFailed = 1;
constexpr int ExitUsage = 2;

// How long a command waits for another process's rewrite: 1,200 tries 25 ms apart (30 s).
constexpr int LockAttempts = 1200;
constexpr std::chrono::milliseconds LockRetryDelay{25};

// What a command does with its archive.
enum class OpenFor {
  Reading,
  Changing,  // scanned under the whole-file lock, so the commit need not scan it again
  Creating,  // the same; a missing file becomes an empty archive first
};

// An open archive with one reference. `Open` fails (with a message) when the file cannot be
// opened or is not an archive.
class Session {
 public:
  Session() = default;
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  bool Open(const std::string& path, OpenFor purpose);
  Archive& archive() { return *archive_; }
  // Calls `visit` for every member in file order (after a fresh scan when the file changed),
  // under the archive lock: no copy of a large catalogue is made. False when the lock fails.
  bool ForEachMember(const std::function<void(const ArchiveEntry&)>& visit);
  std::uint32_t MemberCount();

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
