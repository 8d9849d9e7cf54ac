// Where ReadHeader takes its bytes from: an open archive file, or a memory buffer (tests and the
// header fuzzer). Reads are positioned, so a source keeps no cursor the caller must restore.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Platform.h"

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to `count` bytes at `position`; `*got` receives how many (fewer only at the end).
  // False on an I/O error or a negative position.
  virtual bool ReadAt(std::int64_t position, void* buffer, std::uint32_t count,
                      std::uint32_t* got) = 0;
  // Size of the whole source in bytes, or -1 when it cannot be told.
  virtual std::int64_t Size() = 0;
};

class MemorySource final : public ByteSource {
 public:
  MemorySource(const void* bytes, std::size_t size)
      : bytes_(static_cast<const std::uint8_t*>(bytes)), size_(size) {}
  bool ReadAt(std::int64_t position, void* buffer, std::uint32_t count,
              std::uint32_t* got) override;
  std::int64_t Size() override { return static_cast<std::int64_t>(size_); }

 private:
  const std::uint8_t* bytes_;
  std::size_t size_;
};

// An open file. With `readAhead` it keeps a window of the file in memory, so scanning many small
// headers in file order costs one system read per window instead of several per header; use it
// only while nothing else writes the file (the archive lock is held).
class FileSource final : public ByteSource {
 public:
  explicit FileSource(platform::FileHandle file, bool readAhead = false);
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;
  bool ReadAt(std::int64_t position, void* buffer, std::uint32_t count,
              std::uint32_t* got) override;
  std::int64_t Size() override;
  // True once a seek, read or size query of the file failed: what was read so far may end
  // early for no reason in the file itself.
  bool Failed() const { return failed_; }

 private:
  static constexpr std::uint32_t WindowSize = 64 * 1024;
  bool ReadDirect(std::int64_t position, void* buffer, std::uint32_t count, std::uint32_t* got);

  platform::FileHandle file_;
  std::uint8_t* window_ = nullptr;
  std::int64_t windowStart_ = 0;
  std::uint32_t windowFill_ = 0;
  std::int64_t size_ = -2;  // not asked yet
  bool failed_ = false;
};
