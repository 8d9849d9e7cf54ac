// Files, folders and archive helpers shared by the rewrite and extraction tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveEntry.h"
#include "archive/Crc16.h"
#include "codec/Decoder.h"
#include "platform/Platform.h"

namespace lzhtest {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the temporary folder, removed with everything in it.
class TempFolder {
 public:
  TempFolder() {
    char base[1024];
    platform::TempDirectory(base, sizeof base);
    static int serial = 0;
    std::random_device rd;
    for (;;) {
      path_ = std::string(base) + "tnrw" + std::to_string(rd() % 1000000) + "_" +
              std::to_string(serial++);
      if (platform::MakeDirectory(path_.c_str())) break;
    }
  }
  ~TempFolder() {
    std::error_code ec;
    MakeWritable(path_);
    std::filesystem::remove_all(std::filesystem::u8path(path_), ec);
  }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const {
    return path_ + platform::PathSeparator() + name;
  }

 private:
  static void MakeWritable(const std::string& root) {
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(std::filesystem::u8path(root), ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_write,
                                   std::filesystem::perm_options::add, ec);
      if (ec) break;
    }
  }
  std::string path_;
};

inline bool WriteBytes(const std::string& path, const Bytes& bytes) {
  platform::FileHandle f = platform::OpenFile(path.c_str(), platform::OpenMode::CreateAlways);
  if (f == platform::NoFile) return false;
  bool ok = bytes.empty() ||
            platform::WriteFile(f, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  platform::CloseFile(f);
  return ok;
}

inline Bytes ReadBytes(const std::string& path) {
  Bytes out;
  platform::FileHandle f = platform::OpenFile(path.c_str(), platform::OpenMode::ReadExisting);
  if (f == platform::NoFile) return out;
  std::int64_t size = platform::FileSize(f);
  out.resize(static_cast<std::size_t>(size < 0 ? 0 : size));
  std::uint32_t got = 0;
  if (!out.empty()) platform::ReadFile(f, out.data(), static_cast<std::uint32_t>(out.size()), &got);
  out.resize(got);
  platform::CloseFile(f);
  return out;
}

inline bool Exists(const std::string& path) {
  return platform::GetAttributes(path.c_str()) != platform::InvalidAttributes;
}

inline Bytes TextBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Text that compresses well, different for every seed.
inline Bytes Compressible(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  static const char* words[] = {"archive ", "member ", "header ", "folder ", "data ", "\n",
                                "Tanuvia ", "level ", "method ", "-lh5- ", "0123 "};
  Bytes out;
  while (out.size() < size) {
    const char* w = words[rng() % 11];
    while (*w && out.size() < size) out.push_back(static_cast<std::uint8_t>(*w++));
  }
  return out;
}

inline Bytes Random(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes out(size);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng());
  return out;
}

// An Archive with one reference, released by the holder.
class OpenArchive {
 public:
  explicit OpenArchive(const std::string& path) : archive_(new Archive()) {
    archive_->Retain();
    ok_ = archive_->OpenFile(path.c_str()) == ResultOk;
  }
  ~OpenArchive() { archive_->Release(); }
  OpenArchive(const OpenArchive&) = delete;
  OpenArchive& operator=(const OpenArchive&) = delete;
  bool ok() const { return ok_; }
  Archive& operator*() { return *archive_; }
  Archive* operator->() { return archive_; }

  // The catalogue as it stands after a Lock (which rescans a changed file).
  std::vector<ArchiveEntry> Members() {
    std::vector<ArchiveEntry> out;
    if (!archive_->Lock(false)) return out;
    ArchiveEntry entry;
    for (std::uint32_t i = 0; i < archive_->MemberCount(); ++i)
      if (archive_->GetMember(i, &entry)) out.push_back(entry);
    archive_->Unlock();
    return out;
  }
  std::uint32_t PendingCount() {
    archive_->Lock(false);
    std::uint32_t n = archive_->Pending().Count();
    archive_->Unlock();
    return n;
  }

 private:
  Archive* archive_;
  bool ok_ = false;
};

inline std::string PathOf(const ArchiveEntry& e) {
  char p[EntryPathMax];
  EntryPath(e, p);
  return p;
}

// Decodes a member straight from the archive bytes (independent of the engine's member drivers)
// and checks its CRC. False for an unknown method, corrupt data or a CRC mismatch.
inline bool DecodeFromBytes(const Bytes& archive, const ArchiveEntry& e, Bytes* out) {
  if (e.dataOffset < 0 || e.packedSize < 0 ||
      static_cast<std::size_t>(e.dataOffset) + e.packedSize > archive.size())
    return false;
  const std::uint8_t* packed = archive.data() + e.dataOffset;
  std::string method(e.method, 5);
  out->assign(e.originalSize, 0);
  if (method == "-lhd-") {
    return e.packedSize == 0 && e.originalSize == 0;
  } else if (method == "-lh0-") {
    if (static_cast<std::uint32_t>(e.packedSize) != e.originalSize) return false;
    std::copy(packed, packed + e.packedSize, out->begin());
  } else if (method.size() == 5 && method.compare(0, 3, "-lh") == 0 && method[3] >= '4' &&
             method[3] <= '7') {
    Bytes input(packed, packed + e.packedSize);
    input.resize(input.size() + 8, 0);
    std::vector<std::uint32_t> work(codec::DecodeWorkSize / 4);
    if (codec::DecodeStream(out->data(), input.data(), static_cast<std::uint32_t>(e.packedSize),
                            method[3] - '0', e.originalSize, work.data()) != 0)
      return false;
  } else {
    return false;
  }
  return ComputeCrc16(out->data(), out->size()) == e.crc;
}

}  // namespace lzhtest
