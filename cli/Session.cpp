#include "cli/Session.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "archive/Archive.h"
#include "archive/PathName.h"
#include "cli/NameCodec.h"
#include "platform/Platform.h"

namespace cli {

Session::~Session() {
  if (archive_) archive_->Release();
}

bool Session::Open(const std::string& path, OpenFor purpose) {
  if (purpose == OpenFor::Creating &&
      platform::GetAttributes(path.c_str()) == platform::InvalidAttributes) {
    // An archive without members is its closing zero byte.
    platform::FileHandle file = platform::OpenFile(path.c_str(), platform::OpenMode::CreateNew);
    if (file != platform::NoFile) {
      const std::uint8_t zero = 0;
      bool ok = platform::WriteFile(file, &zero, 1);
      platform::CloseFile(file);
      if (!ok) {
        platform::RemoveFile(path.c_str());
        Error("cannot create " + path);
        return false;
      }
    }
  }
  archive_ = new Archive();
  archive_->Retain();
  if (archive_->OpenFile(path.c_str()) != ResultOk) {
    Error("cannot open " + path);
    return false;
  }
  // Another process rewriting the archive holds its file lock for a moment: a command that
  // changes the archive cannot take the lock meanwhile, and one that reads it cannot scan it
  // through. Either waits for it.
  const bool withFileLock = purpose != OpenFor::Reading;
  bool locked = archive_->Lock(withFileLock);
  for (int attempt = 0; (!locked || archive_->ScanFailed()) &&
                        archive_->File() != platform::NoFile && attempt < LockAttempts;
       ++attempt) {
    if (locked) archive_->Unlock();
    std::this_thread::sleep_for(LockRetryDelay);
    locked = archive_->Lock(withFileLock);
  }
  if (!locked) {
    Error("cannot read " + path);
    return false;
  }
  const bool isArchive = archive_->File() != platform::NoFile;
  const bool unreadable = archive_->ScanFailed();
  archive_->Unlock();
  if (isArchive && unreadable) {
    Error("cannot read " + path);
    return false;
  }
  if (!isArchive) {
    Error(path + " is not an LZH archive");
    return false;
  }
  return true;
}

bool Session::ForEachMember(const std::function<void(const ArchiveEntry&)>& visit) {
  if (!archive_->Lock(false)) return false;
  ArchiveEntry entry;
  for (std::uint32_t i = 0; i < archive_->MemberCount(); ++i)
    if (archive_->GetMember(i, &entry)) visit(entry);
  archive_->Unlock();
  return true;
}

std::uint32_t Session::MemberCount() {
  std::uint32_t count = 0;
  if (archive_->Lock(false)) {
    count = archive_->MemberCount();
    archive_->Unlock();
  }
  return count;
}

std::string ShowPath(const std::string& archivePath) {
#ifdef _WIN32
  std::string local = archivePath;
#else
  std::string local = archivePath;
  ReplaceSeparators(local, '/');
  local = ToLocal(local);
#endif
  // Names come from the archive: control characters (terminal escapes) are not passed on.
  for (auto& c : local)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return local;
}

std::string ShowPath(const ArchiveEntry& entry) {
  char path[EntryPathMax];
  EntryPath(entry, path);
  return ShowPath(std::string(path));
}

void Error(const std::string& text) { std::fprintf(stderr, "tnlzh: %s\n", text.c_str()); }

}  // namespace cli
